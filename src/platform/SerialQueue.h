#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace kesto {

// A serial work queue on a thread of its own: work items run one at a time,
// in the order they were queued. The capture chain delivers every frame on
// one of these ("myQueue"), so the engine only ever sees one frame at a time
// and always on the same thread.
//
// Threads: async() and sync() may be called from any thread. The destructor
// runs what is still queued, then joins the thread; it must not be called
// from the queue's own thread.
class SerialQueue {
  public:
    explicit SerialQueue(std::string label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    // Queues `work` and returns at once. If it throws, that is logged and
    // the queue goes on with the next job.
    void async(std::function<void()> work);
    // Queues `work` and waits until it has run; what it throws is rethrown
    // here. Called from the queue's own thread, it runs `work` at once
    // (waiting would never end).
    void sync(const std::function<void()>& work);
    // Waits until everything queued before this call has run.
    void drain() {
        sync([] {});
    }

    // True when called from the queue's own thread.
    bool isCurrent() const { return std::this_thread::get_id() == threadId_; }
    const std::string& label() const { return label_; }

  private:
    void run();

    const std::string label_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> work_;  // guarded by mutex_
    bool stopping_ = false;                   // guarded by mutex_
    std::thread::id threadId_;
    std::thread thread_;
};

}  // namespace kesto
