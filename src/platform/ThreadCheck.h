#pragma once

#include <cstdlib>
#include <string_view>

#include "platform/Console.h"
#include "platform/RunLoop.h"

namespace kesto {

// Thread checks for entry points bound to one thread. Debug and sanitizer
// builds define KESTO_THREAD_CHECKS: a call from another thread logs the
// entry point and aborts, at the call rather than in some later corruption.
// Other builds compile the checks away.

// Logs "<entry point> called off its thread" and aborts.
[[noreturn]] inline void threadCheckFailed(std::string_view entryPoint) {
    Console::logf("Thread check: %.*s called off its thread", static_cast<int>(entryPoint.size()),
                  entryPoint.data());
    std::abort();
}

}  // namespace kesto

#ifdef KESTO_THREAD_CHECKS
#define KESTO_CHECK_THREAD(onThread)                         \
    do {                                                     \
        if (!(onThread)) {                                   \
            ::kesto::threadCheckFailed(__PRETTY_FUNCTION__); \
        }                                                    \
    } while (false)
#else
#define KESTO_CHECK_THREAD(onThread) \
    do {                             \
    } while (false)
#endif

// For entry points that belong to the process's main thread.
#define KESTO_CHECK_MAIN_THREAD() KESTO_CHECK_THREAD(::kesto::RunLoop::isMainThread())
