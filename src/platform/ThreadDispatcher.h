#pragma once

#include <functional>

namespace kesto {

// Something that runs work on one particular thread, in order: the run loop
// of that thread. Services that must call back "on the thread that started
// them" capture ThreadDispatcher::current() when started and dispatch to it.
//
// Threads: dispatch() may be called from any thread; current() and
// setCurrent() concern the calling thread only.
class ThreadDispatcher {
  public:
    // Queues `work` to run on the dispatcher's thread; returns at once.
    virtual void dispatch(std::function<void()> work) = 0;

    // The dispatcher of the calling thread, or nullptr when it has none.
    static ThreadDispatcher* current();
    // Makes `dispatcher` the calling thread's (nullptr to clear it).
    static void setCurrent(ThreadDispatcher* dispatcher);

  protected:
    ~ThreadDispatcher() = default;
};

}  // namespace kesto
