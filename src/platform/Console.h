#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kesto {

// The console log: one line per call, the system's only way of reporting a
// failure. Lines go to standard error unless a sink is installed (tests
// install one to read what was logged).
//
// Threads: any thread; lines are written whole, never interleaved.
class Console {
  public:
    using Sink = std::function<void(std::string_view line)>;

    static void log(std::string_view line);
    // Formats with the C locale, like every number the system writes.
    static void logf(const char* format, ...) __attribute__((format(printf, 1, 2)));

    // Replaces where lines go; an empty sink restores standard error.
    // Returns the previous sink.
    static Sink setSink(Sink sink);
};

}  // namespace kesto
