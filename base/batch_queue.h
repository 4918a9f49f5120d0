// How a worker's results reach the thread that owns what they fill (the
// catalogue, a list, a summary): batches in the order they were made, the
// latest progress (older progress is of no use once a newer one is there),
// and one outcome at the end, handed over only after every batch before it.
//
// Bounded (maxQueued > 0), the worker waits while that many batches are
// waiting, so found items never pile up in memory when the owner falls
// behind; close() releases a waiting worker for good (its batches are then
// dropped), for an owner that stops listening.
//
// The owner either polls (the window drains it from a timer, for a bounded
// time each tick) or waits for work (the command line).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

namespace bkf {

template <class Batch, class Progress, class Outcome>
class BatchQueue {
public:
    explicit BatchQueue(std::size_t maxQueued = 0) : maxQueued_(maxQueued) {}

    // ---- the worker's side
    void push(Batch batch) {
        {
            std::unique_lock lock(mutex_);
            if (maxQueued_ > 0) room_.wait(lock, [&] { return closed_ || batches_.size() < maxQueued_; });
            if (closed_) return;
            batches_.push_back(std::move(batch));
        }
        work_.notify_one();
    }
    void progress(Progress progress) {
        std::lock_guard lock(mutex_);
        progress_ = std::move(progress);
    }
    void finish(Outcome outcome) {
        {
            std::lock_guard lock(mutex_);
            outcome_ = std::move(outcome);
        }
        work_.notify_one();
    }

    // ---- the owner's side
    // The next batch, or nullopt when none is waiting.
    std::optional<Batch> pop() {
        std::optional<Batch> batch;
        {
            std::lock_guard lock(mutex_);
            if (batches_.empty()) return batch;
            batch.emplace(std::move(batches_.front()));
            batches_.pop_front();
        }
        room_.notify_one();
        return batch;
    }
    std::optional<Progress> takeProgress() {
        std::lock_guard lock(mutex_);
        return std::exchange(progress_, std::nullopt);
    }
    // The outcome, once every batch has been taken; nullopt before.
    std::optional<Outcome> takeOutcome() {
        std::lock_guard lock(mutex_);
        if (!batches_.empty()) return std::nullopt;
        return std::exchange(outcome_, std::nullopt);
    }
    // Whether batches are waiting.
    bool hasBatches() {
        std::lock_guard lock(mutex_);
        return !batches_.empty();
    }
    // Waits up to `timeout` until a batch or the outcome is there; true when one is.
    bool waitForWork(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return work_.wait_for(lock, timeout, [&] { return !batches_.empty() || outcome_.has_value(); });
    }
    // Applies batches with `apply` until none is waiting or `deadline` has
    // passed (at least one when one is waiting); returns how many.
    template <class Apply>
    std::size_t drainUntil(std::chrono::steady_clock::time_point deadline, Apply&& apply) {
        std::size_t applied = 0;
        while (applied == 0 || std::chrono::steady_clock::now() < deadline) {
            std::optional<Batch> batch = pop();
            if (!batch) break;
            apply(*batch);
            ++applied;
        }
        return applied;
    }

    // Empties the queue for a new job (no worker may be running).
    void reset() {
        std::lock_guard lock(mutex_);
        batches_.clear();
        progress_.reset();
        outcome_.reset();
        closed_ = false;
    }
    // The owner stops listening: a waiting worker goes on, and what it pushes is dropped.
    void close() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
            batches_.clear();
        }
        room_.notify_all();
    }

private:
    const std::size_t maxQueued_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable room_;
    std::deque<Batch> batches_;
    std::optional<Progress> progress_;
    std::optional<Outcome> outcome_;
    bool closed_ = false;
};

}  // namespace bkf
