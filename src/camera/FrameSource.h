#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/FrameBitmap.h"

namespace kesto {

// Where a paced session takes its frames: the simulated sensor or a raw
// replay.
//
// Threads: nextFrame runs on one session's delivery queue; a source shared
// between sessions must make it safe to call from several queues.
class FrameSource {
  public:
    virtual ~FrameSource() = default;

    // Renders the next frame into `buffer` (reused from frame to frame) and
    // describes it; nothing when the source has no more frames, or, while
    // isSilent(), none for now.
    virtual std::optional<FrameBitmap> nextFrame(std::vector<std::uint8_t>& buffer) = 0;
    // True when giving nothing is not an end but silence, as from a camera
    // that stops sending without a word.
    virtual bool isSilent() const { return false; }
    // Called when a session starts reading, e.g. to say what it reads.
    virtual void sessionStarted() {}
};

}  // namespace kesto
