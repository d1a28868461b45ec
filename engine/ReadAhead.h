#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <utility>
#include <vector>

namespace engine {

// Fills batches on a thread of its own while the caller uses the batches filled before, so that reading a
// table and working on what it read take two cores. A few batches are used over and over, so the memory does
// not grow with the table.
template <class Batch>
class ReadAhead {
public:
    // Fills an emptied batch and returns false once there is nothing more to read (the batch may still hold
    // the last rows). What it throws reaches the caller of next() after the batches filled before. It runs on
    // the reading thread only.
    using Fill = std::function<bool(Batch&)>;
    // Empties a batch before it is filled again.
    using Empty = std::function<void(Batch&)>;

    // `batches` are made before the thread starts; `threadName` names the thread for the system's tools.
    ReadAhead(Fill fill, Empty empty, std::vector<std::unique_ptr<Batch>> batches, const char* threadName)
        : fill_(std::move(fill)), empty_(std::move(empty)), free_(std::move(batches)) {
        reader_ = std::thread([this, threadName] {
            pthread_setname_np(pthread_self(), threadName);
            read();
        });
    }

    // Stops the reading thread (after the batch it is filling) and waits for it.
    ~ReadAhead() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        reader_.join();
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next filled batch, valid until the next call; nullptr after the last. Rethrows what Fill threw.
    Batch* next() {
        std::unique_lock lock(mutex_);
        if (inUse_)
            free_.push_back(std::move(inUse_));
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

private:
    void read() {
        for (;;) {
            std::unique_ptr<Batch> batch;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return stopping_ || !free_.empty(); });
                if (stopping_)
                    return;
                batch = std::move(free_.back());
                free_.pop_back();
            }
            empty_(*batch);
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

    Fill fill_;
    Empty empty_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<Batch>> filled_;
    std::vector<std::unique_ptr<Batch>> free_;
    std::unique_ptr<Batch> inUse_; // the caller's
    std::exception_ptr failure_;
    bool finished_ = false; // no batch will be filled any more
    bool stopping_ = false;
    std::thread reader_;
};

} // namespace engine
