#include "platform/worker.h"

#include <QCoreApplication>
#include <QEvent>

namespace fotavi {

Worker::Worker(AtEnd at_end) : at_end_(at_end), thread_([this] { run(); }) {}

Worker::~Worker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        if (at_end_ == AtEnd::Drop) jobs_.clear();
    }
    changed_.notify_all();
    thread_.join();
}

void Worker::post(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    changed_.notify_all();
}

void Worker::drop_waiting() {
    std::lock_guard lock(mutex_);
    jobs_.clear();
    changed_.notify_all();
}

void Worker::wait_idle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_ && jobs_.empty(); });
}

void Worker::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // stopping, and nothing left to run
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        // Nothing may end the thread but the worker going.
        try {
            job();
        } catch (...) {
        }
        job = nullptr;  // whatever the job holds goes before the worker says it is idle
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

namespace {

const QEvent::Type kMail = QEvent::Type(QEvent::registerEventType());

}  // namespace

void Mailbox::post(std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(fn));
    }
    QCoreApplication::postEvent(this, new QEvent(kMail));
}

void Mailbox::deliver() {
    std::deque<std::function<void()>> ready;
    {
        std::lock_guard lock(mutex_);
        ready.swap(posted_);
    }
    for (const auto& fn : ready) fn();
}

void Mailbox::customEvent(QEvent*) { deliver(); }

}  // namespace fotavi
