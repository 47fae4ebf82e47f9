// Work in two steps, the second on a thread of its own: the caller makes
// batches one after the other, and `consume` takes them on another thread in
// the order made while the caller makes the next, so that a reader's parsing
// and its bookkeeping run side by side. The results are those of consuming
// each batch on the caller's thread in turn, whatever the scheduling.
//
// Where no thread may start or none can (start_thread()), each batch is
// consumed on the caller's thread as it is pushed.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "shell/parallel.h"

namespace pedsim::shell {

template <class Batch>
class BatchPipe {
public:
    // `consume` is called once per batch pushed, in order, until it throws:
    // later batches are then dropped. At most `waiting` batches wait
    // (waiting >= 1): push() blocks while they do, which bounds the memory.
    BatchPipe(std::function<void(Batch&)> consume, std::size_t waiting)
        : consume_(std::move(consume)), waiting_(waiting)
    {
        consumer_ = start_thread([this] { consume_in_turn(); });
    }
    BatchPipe(const BatchPipe&) = delete;
    BatchPipe& operator=(const BatchPipe&) = delete;
    // Drops what waits and stops the thread (after an exception of the
    // caller's, say); finish() is the way to wait for every batch.
    ~BatchPipe()
    {
        {
            const std::scoped_lock lock(mutex_);
            waiting_batches_.clear();
            closed_ = true;
        }
        changed_.notify_all();
    }

    // Hands `batch` to the consumer (or consumes it now, without a thread).
    // Returns false once the consumer has thrown: the caller may stop making
    // batches, and finish() rethrows.
    bool push(Batch&& batch)
    {
        if (!consumer_.joinable()) return consume_here(batch);
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return waiting_batches_.size() < waiting_ || failure_; });
        if (failure_) return false;
        waiting_batches_.push_back(std::move(batch));
        lock.unlock();
        changed_.notify_all();
        return true;
    }

    // Waits until every batch pushed is consumed and the thread has stopped;
    // rethrows the exception `consume` threw, if any. The pipe takes no
    // more batches.
    void finish()
    {
        {
            const std::scoped_lock lock(mutex_);
            closed_ = true;
        }
        changed_.notify_all();
        if (consumer_.joinable()) consumer_.join();
        if (failure_) std::rethrow_exception(failure_);
    }

private:
    bool consume_here(Batch& batch)
    {
        if (failure_) return false;
        try {
            consume_(batch);
        } catch (...) {
            failure_ = std::current_exception();
        }
        return !failure_;
    }

    void consume_in_turn()
    {
        for (;;) {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return !waiting_batches_.empty() || closed_; });
            if (waiting_batches_.empty()) return;
            Batch batch = std::move(waiting_batches_.front());
            waiting_batches_.pop_front();
            lock.unlock();
            changed_.notify_all();
            try {
                consume_(batch);
            } catch (...) {
                lock.lock();
                failure_ = std::current_exception();
                waiting_batches_.clear();
                lock.unlock();
                changed_.notify_all();
                return;
            }
        }
    }

    std::function<void(Batch&)> consume_;
    const std::size_t waiting_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Batch> waiting_batches_;
    bool closed_ = false;
    std::exception_ptr failure_;  // the consumer's exception, set under the mutex
    std::jthread consumer_;       // last: joined first, before the members it uses go
};

}  // namespace pedsim::shell
