#pragma once

#include "engine/FrameBitmap.h"

namespace kesto {

// Receives the frames of a capture session, one at a time, on the session's
// delivery queue. The frame's bytes are only valid during the call.
class SampleBufferDelegate {
  public:
    virtual void didOutputSampleBuffer(const FrameBitmap& frame) = 0;

  protected:
    virtual ~SampleBufferDelegate() = default;
};

}  // namespace kesto
