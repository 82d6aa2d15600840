#pragma once

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace fotavi {

// Several background threads sharing one queue of jobs, each job taken by
// whichever thread is free: the decodes that run side by side (thumbnails,
// the photo diary's pictures). Standard threads and locks, like Worker, so
// ThreadSanitizer sees every hand-over. A job that throws ends only itself.
// When the pool goes, the jobs still waiting are dropped and those running
// finish first.
template <typename Job>
class WorkerPool {
public:
    // threads (at least one) each run run(job) for the jobs they take.
    WorkerPool(int threads, std::function<void(Job&)> run) : run_(std::move(run)) {
        for (int i = 0; i < std::max(1, threads); ++i)
            threads_.emplace_back([this] { take_jobs(); });
    }
    ~WorkerPool() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            jobs_.clear();
        }
        changed_.notify_all();
        for (std::thread& thread : threads_) thread.join();
    }
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void post(Job job) {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        changed_.notify_one();
    }
    // Drops the waiting jobs for which drop(job) is true; drop runs with the
    // pool's lock held, so it must not call back into the pool.
    template <typename Drop>
    void drop_waiting_if(Drop drop) {
        std::lock_guard lock(mutex_);
        std::erase_if(jobs_, [&](const Job& job) { return drop(job); });
        changed_.notify_all();
    }
    void drop_waiting() {
        drop_waiting_if([](const Job&) { return true; });
    }
    // Blocks until no job is running or waiting.
    void wait_idle() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return busy_ == 0 && jobs_.empty(); });
    }

private:
    void take_jobs() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            ++busy_;
            lock.unlock();
            // Nothing may end the thread but the pool going.
            try {
                run_(job);
            } catch (...) {
            }
            lock.lock();
            --busy_;
            changed_.notify_all();
        }
    }

    const std::function<void(Job&)> run_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    int busy_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;  // last: they start once everything above is there
};

}  // namespace fotavi
