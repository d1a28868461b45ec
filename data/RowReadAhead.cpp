#include "data/RowReadAhead.h"

#include <pthread.h>

namespace data {
namespace {

// Batches: enough rows that handing one over costs nothing beside reading it, few enough to stay in cache.
constexpr std::size_t kBatches = 4;

} // namespace

RowReadAhead::RowReadAhead(Fill fill, std::function<std::unique_ptr<RowStore>()> emptyStore) : fill_(std::move(fill)) {
    for (std::size_t i = 0; i < kBatches; ++i) {
        auto batch = std::make_unique<RowBatch>();
        batch->rows = emptyStore();
        empty_.push_back(std::move(batch));
    }
    reader_ = std::thread([this] { read(); });
}

RowReadAhead::~RowReadAhead() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    reader_.join();
}

void RowReadAhead::read() {
    pthread_setname_np(pthread_self(), "row-reader");
    for (;;) {
        std::unique_ptr<RowBatch> batch;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || !empty_.empty(); });
            if (stopping_)
                return;
            batch = std::move(empty_.back());
            empty_.pop_back();
        }
        batch->rows->clear();
        batch->textLosses.clear();
        batch->unreadable.clear();
        bool more = false;
        std::exception_ptr failure;
        try {
            more = fill_(*batch);
        } catch (...) {
            failure = std::current_exception();
        }
        {
            const std::lock_guard lock(mutex_);
            filled_.push_back(std::move(batch));
            if (!more) {
                failure_ = failure;
                finished_ = true;
            }
        }
        changed_.notify_all();
        if (!more)
            return;
    }
}

RowBatch* RowReadAhead::next() {
    std::unique_lock lock(mutex_);
    if (inUse_)
        empty_.push_back(std::move(inUse_));
    changed_.notify_all();
    changed_.wait(lock, [this] { return !filled_.empty() || finished_; });
    if (filled_.empty()) {
        if (failure_)
            std::rethrow_exception(std::exchange(failure_, nullptr));
        return nullptr;
    }
    inUse_ = std::move(filled_.front());
    filled_.pop_front();
    return inUse_.get();
}

} // namespace data
