#pragma once

namespace kesto {

// A subscription to changes of the routing state.
//
// Threads: wait() is called by one thread (the watcher); interrupt() may be
// called from any thread, also while wait() blocks.
class RouteWatch {
  public:
    virtual ~RouteWatch() = default;

    // Blocks until the routing state has changed since the watch was opened
    // or since the last wait() returned; a burst of changes wakes it once.
    // Returns false once interrupted, or when the watch broke.
    virtual bool wait() = 0;
    // Makes the current and every later wait() return false.
    virtual void interrupt() = 0;
};

}  // namespace kesto
