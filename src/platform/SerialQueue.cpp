#include "platform/SerialQueue.h"

#include <pthread.h>

#include <future>

#include "platform/internal/Isolated.h"

namespace kesto {

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)) {
    std::promise<std::thread::id> started;
    auto id = started.get_future();
    thread_ = std::thread([this, &started] {
        // Named after the label so a debugger or `top -H` shows "myQueue";
        // Linux allows 15 characters.
        pthread_setname_np(pthread_self(), label_.substr(0, 15).c_str());
        started.set_value(std::this_thread::get_id());
        run();
    });
    threadId_ = id.get();
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void SerialQueue::async(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        work_.push_back(std::move(work));
    }
    wake_.notify_one();
}

void SerialQueue::sync(const std::function<void()>& work) {
    if (isCurrent()) {
        work();
        return;
    }
    std::promise<void> done;
    auto finished = done.get_future();
    async([&work, &done] {
        try {
            work();
            done.set_value();
        } catch (...) {
            // The caller waits for this work: it learns of the failure itself.
            done.set_exception(std::current_exception());
        }
    });
    finished.get();
}

void SerialQueue::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !work_.empty(); });
        if (work_.empty()) {
            return;  // stopping, and nothing left to run
        }
        auto work = std::move(work_.front());
        work_.pop_front();
        lock.unlock();
        // A job that throws is logged and goes no further: the queue and
        // the process keep running.
        runIsolated(label_ + " job", work);
        lock.lock();
    }
}

}  // namespace kesto
