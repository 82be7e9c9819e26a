#pragma once

#include <cstddef>
#include <functional>

namespace kesto {

// Background work: every call runs on a new thread of its own that ends with
// the work (uploads block there on the network). The threads are detached;
// the count of those still running lets a test or a clean exit wait for them.
// A job that throws is logged ("Background job failed: ...") and ends its
// thread only.
//
// Threads: any thread.
class BackgroundThread {
  public:
    static void detachNew(std::function<void()> work);

    // Threads started by detachNew that have not finished yet.
    static std::size_t running();
    // Waits (real time) until none is running; false after `timeoutSeconds`.
    static bool waitForAll(double timeoutSeconds);
};

}  // namespace kesto
