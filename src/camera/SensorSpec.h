#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Result.h"

namespace kesto {

// Which sensor the capture chain reads, as given to --sensor or KESTO_SENSOR
// (the camera when neither is given: the simulator only ever when asked for,
// so that nothing made up passes for a measurement):
//
//   sim[:rate=R,seed=S,lens=covered|open,size=WxH,hot=N,hotseed=H,noise=L,frames=F]
//       the simulated sensor: R μSv/h (default 0.5, at most 100000), seed S
//       (default: a random one, announced), covered lens (default), frames
//       of W × H pixels (default 480x360), N hot pixels (default 0, at most
//       10000) placed by the seed H (default: S), mean dark level L (default
//       5, at most 100); with F, it stops sending after F frames, as a
//       failing camera does. The hot pixels are the camera's own: one H
//       calibrated once serves measurements with any S, as a real camera.
//   camera[:DEVICE]
//       a Video4Linux camera: /dev/video0 by default; DEVICE is a path
//       (/dev/video2) or a number (2)
//   raw:DIR[,width=W,height=H,bytes-per-row=B,loop]
//       replays the raw BGRA frame files of DIR in name order; frames of
//       W × H pixels (default 480 × 360), B bytes per row (default 4 × W);
//       with "loop" it starts over at the end. DIR cannot hold a comma.
//   gst:PIPELINE
//       a GStreamer pipeline description (see GstCaptureSession for how the
//       chain completes it)
//
// A value object; any thread.
struct SensorSpec {
    enum class Kind { Simulated, Camera, Raw, Pipeline };

    static constexpr double kDefaultRate = 0.5;        // μSv/h
    static constexpr double kMaximumRate = 100000.0;   // μSv/h
    static constexpr std::size_t kMaximumSide = 8192;  // pixels
    static constexpr std::uint32_t kDefaultDarkLevel = 5;
    static constexpr std::uint32_t kMaximumDarkLevel = 100;
    static constexpr std::size_t kMaximumHotPixels = 10000;
    static constexpr const char* kDefaultCamera = "/dev/video0";

    Kind kind = Kind::Camera;
    // Simulator.
    double rate = kDefaultRate;
    std::optional<std::uint64_t> seed;
    std::optional<std::uint64_t> hotSeed;  // nothing: the seed
    bool lensOpen = false;
    std::size_t hotPixels = 0;
    std::uint32_t darkLevel = kDefaultDarkLevel;
    std::optional<std::uint64_t> frames;  // none: never stops
    // Simulator and raw replay.
    std::size_t width = 480;
    std::size_t height = 360;
    // Raw replay.
    std::string directory;
    std::size_t bytesPerRow = 0;  // 0: 4 × width
    bool loop = false;
    // Camera.
    std::string device = kDefaultCamera;
    // Pipeline.
    std::string pipeline;

    // Reads a selection; refused, saying why, on a mistake.
    static Result<SensorSpec> parse(std::string_view text);

    std::size_t rowBytes() const { return bytesPerRow != 0 ? bytesPerRow : 4 * width; }
};

}  // namespace kesto
