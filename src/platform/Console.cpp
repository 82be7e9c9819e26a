#include "platform/Console.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/Format.h"

namespace kesto {
namespace {

std::mutex& consoleMutex() {
    static std::mutex mutex;
    return mutex;
}

Console::Sink& currentSink() {
    static Console::Sink sink;
    return sink;
}

}  // namespace

void Console::log(std::string_view line) {
    std::lock_guard lock(consoleMutex());
    if (auto& sink = currentSink()) {
        sink(line);
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
}

void Console::logf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string line = vcformat(format, args);
    va_end(args);
    log(line);
}

Console::Sink Console::setSink(Sink sink) {
    std::lock_guard lock(consoleMutex());
    Sink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

}  // namespace kesto
