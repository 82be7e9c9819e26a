#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "camera/FrameSource.h"

namespace kesto {

// Replays raw BGRA frame files (as the raw dump writes them: the bytes
// only) from one directory, in name order. A file whose size is not
// bytes per row × height is skipped with one console line; at the end the
// replay starts over when looping, otherwise it stops delivering and says
// so once.
//
// Threads: nextFrame on one session's delivery queue; built on the main thread.
class RawFrameReplay : public FrameSource {
  public:
    RawFrameReplay(std::filesystem::path directory, std::size_t width, std::size_t height,
                   std::size_t bytesPerRow, bool loop);

    // The regular files of `directory`, sorted by name; empty when it cannot be read.
    static std::vector<std::filesystem::path> frameFiles(const std::filesystem::path& directory);

    std::optional<FrameBitmap> nextFrame(std::vector<std::uint8_t>& buffer) override;
    void sessionStarted() override;

  private:
    bool readFrame(const std::filesystem::path& file, std::vector<std::uint8_t>& buffer);

    const std::filesystem::path directory_;
    const std::size_t width_;
    const std::size_t height_;
    const std::size_t bytesPerRow_;
    const bool loop_;
    // Delivery queue only.
    std::vector<std::filesystem::path> files_;
    std::size_t position_ = 0;
    std::size_t delivered_ = 0;
    bool endLogged_ = false;
    bool loopLogged_ = false;
    std::set<std::filesystem::path> refused_;
};

}  // namespace kesto
