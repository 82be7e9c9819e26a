#pragma once

#include <exception>
#include <string_view>

#include "platform/Console.h"

namespace kesto {

// Called inside a catch block: logs "<what> failed: <reason>" for the
// exception being handled.
inline void logCaughtException(std::string_view what) noexcept {
    try {
        throw;
    } catch (const std::exception& error) {
        Console::logf("%.*s failed: %s", static_cast<int>(what.size()), what.data(), error.what());
    } catch (...) {
        Console::logf("%.*s failed: unknown exception", static_cast<int>(what.size()), what.data());
    }
}

// Runs `work` (a background job, a timer's action) so that an exception it
// throws ends neither its caller nor the process: it is logged as one line
// and goes no further. Returns false when `work` threw.
template <typename Work>
bool runIsolated(std::string_view what, Work&& work) noexcept {
    try {
        work();
        return true;
    } catch (...) {
        logCaughtException(what);
    }
    return false;
}

}  // namespace kesto
