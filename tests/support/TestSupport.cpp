#include "support/TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/Clock.h"

namespace kesto::test {

ConsoleCapture::ConsoleCapture() {
    previous_ = Console::setSink([this](std::string_view line) {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    });
}

ConsoleCapture::~ConsoleCapture() {
    Console::setSink(std::move(previous_));
}

std::vector<std::string> ConsoleCapture::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

bool ConsoleCapture::contains(const std::string& fragment) const {
    return count(fragment) > 0;
}

size_t ConsoleCapture::count(const std::string& fragment) const {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(std::count_if(lines_.begin(), lines_.end(), [&](const auto& l) {
        return l.find(fragment) != std::string::npos;
    }));
}

ManualClock::ManualClock(double unixSeconds) {
    Clock::setManual(Date::fromUnixSeconds(unixSeconds));
}

ManualClock::~ManualClock() {
    Clock::useSystemTime();
}

void ManualClock::advance(double seconds) {
    Clock::advance(seconds);
}

Date ManualClock::now() const {
    return Clock::now();
}

void ScopedEnvironment::set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    value ? setenv(name, value, 1) : unsetenv(name);
}

ScopedEnvironment::~ScopedEnvironment() {
    // Last first, so a name set twice gets its first value back.
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        it->second ? setenv(it->first.c_str(), it->second->c_str(), 1)
                   : unsetenv(it->first.c_str());
    }
}

TemporaryDirectory::TemporaryDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kesto-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::abort();
    }
    path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

TestFrame::TestFrame(size_t w, size_t h, size_t padding, std::uint8_t blue, std::uint8_t green,
                     std::uint8_t red, std::uint8_t alpha)
    : width(w), height(h), bytesPerRow(w * 4 + padding), bytes(bytesPerRow * h, 0) {
    for (size_t y = 0; y < h; ++y) {
        for (size_t x = 0; x < w; ++x) {
            setPixel(x, y, blue, green, red, alpha);
        }
    }
}

void TestFrame::setPixel(size_t x, size_t y, std::uint8_t b, std::uint8_t g, std::uint8_t r,
                         std::uint8_t a) {
    std::uint8_t* p = pixel(x, y);
    p[0] = b;
    p[1] = g;
    p[2] = r;
    p[3] = a;
}

std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace kesto::test
