#include "camera/internal/RawFrameReplay.h"

#include <algorithm>
#include <fstream>

#include "platform/Console.h"

namespace kesto {

RawFrameReplay::RawFrameReplay(std::filesystem::path directory, std::size_t width,
                               std::size_t height, std::size_t bytesPerRow, bool loop)
    : directory_(std::move(directory)),
      width_(width),
      height_(height),
      bytesPerRow_(bytesPerRow),
      loop_(loop) {}

std::vector<std::filesystem::path> RawFrameReplay::frameFiles(
    const std::filesystem::path& directory) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code ignored;
        if (it->is_regular_file(ignored)) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

void RawFrameReplay::sessionStarted() {
    if (files_.empty()) {
        files_ = frameFiles(directory_);
    }
    Console::logf("Raw replay: %zu files in %s, frames of %zu \u00D7 %zu pixels, %zu bytes per row",
                  files_.size(), directory_.c_str(), width_, height_, bytesPerRow_);
}

bool RawFrameReplay::readFrame(const std::filesystem::path& file,
                               std::vector<std::uint8_t>& buffer) {
    const std::size_t expected = bytesPerRow_ * height_;
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error || size != expected) {
        if (refused_.insert(file).second) {
            Console::logf("Raw replay: %s skipped: %s, a frame is %zu bytes", file.c_str(),
                          error ? "it cannot be read" : (std::to_string(size) + " bytes").c_str(),
                          expected);
        }
        return false;
    }
    buffer.resize(expected);
    std::ifstream in(file, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(expected))) {
        if (refused_.insert(file).second) {
            Console::logf("Raw replay: %s skipped: it cannot be read", file.c_str());
        }
        return false;
    }
    return true;
}

std::optional<FrameBitmap> RawFrameReplay::nextFrame(std::vector<std::uint8_t>& buffer) {
    // At most one pass over the files per frame, so a directory without a
    // single good frame ends instead of spinning.
    for (std::size_t tried = 0; tried <= files_.size(); ++tried) {
        if (position_ >= files_.size()) {
            if (!loop_ || delivered_ == 0) {
                if (!endLogged_) {
                    endLogged_ = true;
                    Console::logf("Raw replay: end of %s after %zu frames; no more frames",
                                  directory_.c_str(), delivered_);
                }
                return std::nullopt;
            }
            if (!loopLogged_) {
                loopLogged_ = true;
                Console::logf("Raw replay: end of %s, starting over", directory_.c_str());
            }
            position_ = 0;
        }
        const auto& file = files_[position_++];
        if (readFrame(file, buffer)) {
            ++delivered_;
            return FrameBitmap{buffer.data(), width_, height_, bytesPerRow_};
        }
    }
    return std::nullopt;
}

}  // namespace kesto
