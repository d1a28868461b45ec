#pragma once

#include "data/Query.h"
#include "data/RowStore.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace data {

// Rows read from a cursor in one go: their values, the texts the code page could not hold exactly (rows
// counted within the batch), and which rows have a value that could not be read.
struct RowBatch {
    std::unique_ptr<RowStore> rows;
    std::vector<TextLoss> textLosses;
    std::vector<bool> unreadable;
};

// Fills batches of rows on a thread of its own while the caller uses the batches filled before, so that
// reading a table and working on its rows take two cores. At most a few batches wait at once, so the memory
// does not grow with the table.
class RowReadAhead {
public:
    // Fills an emptied batch (its store holds no rows) and returns false once the rows are all read. What it
    // throws reaches the caller of next() after the batches filled before. It runs on the reading thread only.
    using Fill = std::function<bool(RowBatch&)>;

    // `emptyStore` makes the store of a new batch.
    RowReadAhead(Fill fill, std::function<std::unique_ptr<RowStore>()> emptyStore);
    // Stops the reading thread (after the batch it is filling) and waits for it.
    ~RowReadAhead();
    RowReadAhead(const RowReadAhead&) = delete;
    RowReadAhead& operator=(const RowReadAhead&) = delete;

    // The next filled batch, valid until the next call; nullptr after the last. Rethrows what Fill threw.
    RowBatch* next();

private:
    void read();

    Fill fill_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<RowBatch>> filled_;
    std::vector<std::unique_ptr<RowBatch>> empty_;
    std::unique_ptr<RowBatch> inUse_; // the caller's
    std::exception_ptr failure_;
    bool finished_ = false; // no batch will be filled any more
    bool stopping_ = false;
    std::thread reader_;
};

} // namespace data
