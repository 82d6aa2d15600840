#pragma once

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace fotavi {

// One background thread that runs jobs one after another, in the order they
// were posted: the one way this program does work off the window's thread
// (decoding pictures ahead, writing comments). Standard threads and locks,
// so ThreadSanitizer sees every hand-over. A job that throws ends only
// itself: the next one runs.
class Worker {
public:
    // What happens to jobs still waiting when the worker goes: run them (the
    // comments still to be written) or drop them (pictures decoded ahead).
    enum class AtEnd { Finish, Drop };

    explicit Worker(AtEnd at_end = AtEnd::Finish);
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void post(std::function<void()> job);
    // Drops the jobs that have not started: a newer list replaces them.
    void drop_waiting();
    // Blocks until no job is running or waiting.
    void wait_idle();

private:
    void run();

    const AtEnd at_end_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> jobs_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;  // last: it starts once everything above is there
};

// Hands functions from any thread to the thread the mailbox lives on, where
// they run in the order they were posted. What a worker hands over passes a
// standard mutex only, so ThreadSanitizer sees every hand-over (a functor
// queued through Qt's own atomics would look like a race). Whoever owns it
// stops posting before it goes (its workers go first).
class Mailbox : public QObject {
public:
    using QObject::QObject;
    void post(std::function<void()> fn);
    // Runs at once what has been posted so far, on the calling (owner's) thread.
    void deliver();

protected:
    // The only event posted to a mailbox: its posts wait. (Qt reads the
    // event, not this code, so the event's own hand-over stays Qt's.)
    void customEvent(QEvent* event) override;

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
};

// Runs job on worker; the future holds its result (or what it threw).
template <typename T>
std::future<T> run_on(Worker& worker, std::function<T()> job) {
    auto promise = std::make_shared<std::promise<T>>();
    std::future<T> future = promise->get_future();
    worker.post([promise, job = std::move(job)] {
        try {
            promise->set_value(job());
        } catch (...) {
            promise->set_exception(std::current_exception());
        }
    });
    return future;
}

}  // namespace fotavi
