#include "camera/RawBM.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/UniqueHandle.h"

namespace kesto {

RawBM::RawBM(const std::uint8_t* bytes, std::uint32_t size, std::string title)
    : bitmap_(bytes, bytes + size), title_(std::move(title)), bitmapSz_(size) {}

std::string RawBM::fileNameForTitle(const std::string& title) {
    std::string name = title;
    std::replace(name.begin(), name.end(), ':', '.');
    if (const auto plus = name.find('+'); plus != std::string::npos) {
        name.erase(plus, 6);  // erase clamps at the end of the text
    }
    return name;
}

void RawBM::save(const std::string& directory) const {
    const bool ascii = std::all_of(title_.begin(), title_.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii) {
        Console::log("Image not saved: the title is not ASCII text");
        return;
    }
    const std::string name = fileNameForTitle(title_);
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        Console::logf("Image not saved: \"%s\" is not a file name", name.c_str());
        return;
    }
    std::string path = directory;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path += name;

    const Date start = Clock::now();
    UniqueHandle<std::FILE, std::fclose> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        Console::logf("Image not saved (%s): %s", path.c_str(), std::strerror(errno));
        return;
    }
    const std::size_t written =
        bitmap_.empty() ? 0 : std::fwrite(bitmap_.data(), 1, bitmap_.size(), file.get());
    // Closed here, not on the way out: a failed close is a failed write.
    const bool closed = std::fclose(file.release()) == 0;
    if (written != bitmap_.size() || !closed) {
        std::remove(path.c_str());  // no half-written dump left behind
        Console::logf("Image not saved (%s): write failed", path.c_str());
        return;
    }
    const double ms = Clock::now().timeIntervalSince(start) * 1000.0;
    Console::logf("Image saved (%s, %.1f ms)", path.c_str(), ms);
}

}  // namespace kesto
