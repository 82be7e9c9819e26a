#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Console.h"
#include "platform/Date.h"

namespace kesto::test {

// Collects console lines for the lifetime of the object.
class ConsoleCapture {
  public:
    ConsoleCapture();
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    std::vector<std::string> lines() const;
    bool contains(const std::string& fragment) const;
    size_t count(const std::string& fragment) const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    Console::Sink previous_;
};

// Puts the clock in manual mode at a fixed date for the lifetime of the
// object, then back to the system clock.
class ManualClock {
  public:
    static constexpr double kStart = 1300000000.25;  // 2011-03-13, a quarter past
    explicit ManualClock(double unixSeconds = kStart);
    ~ManualClock();
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;
    void advance(double seconds);
    Date now() const;
};

// Sets (a text) or unsets (nullptr) environment variables for the lifetime
// of the object, then gives each back its value, or none when it had none.
class ScopedEnvironment {
  public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    void set(const char* name, const char* value);

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TemporaryDirectory {
  public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// A BGRA frame filled with one pixel value, with optional row padding.
struct TestFrame {
    size_t width;
    size_t height;
    size_t bytesPerRow;
    std::vector<std::uint8_t> bytes;

    TestFrame(size_t width, size_t height, size_t padding = 0, std::uint8_t blue = 0,
              std::uint8_t green = 0, std::uint8_t red = 0, std::uint8_t alpha = 255);
    std::uint8_t* pixel(size_t x, size_t y) { return bytes.data() + y * bytesPerRow + x * 4; }
    void setPixel(size_t x, size_t y, std::uint8_t b, std::uint8_t g, std::uint8_t r,
                  std::uint8_t a = 255);
};

std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path);

}  // namespace kesto::test
