#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/CameraProfile.h"
#include "engine/FrameBitmap.h"
#include "platform/Result.h"

namespace kesto {

// Learns a camera's dark noise from covered frames and proposes its
// profile: the hot-pixel mask, a detection threshold and a light limit.
//
// Per channel value it keeps the sum, the sum of squares, the maximum and
// the number of frames above the device threshold; per frame, the sum of
// all values. The first frame fixes the size; frames of another size are
// ignored.
//
// Threads: addFrame on the capture chain's delivery thread; frames() from
// any thread; propose once no frame can arrive any more (main thread).
class DarkFrameCalibration {
  public:
    // A value above the device threshold in at least this share of the
    // frames is a hot pixel: noise is never that persistent, particles
    // never strike the same place that often.
    static constexpr double kHotShare = 0.5;
    // Unmasked values whose maximum may exceed the proposed threshold: room
    // for the few real particles that cross a covered sensor during
    // calibration, which must not push the threshold up.
    static constexpr std::size_t kParticleAllowance = 16;
    static constexpr std::uint32_t kMaximumFrames = 36000;

    DarkFrameCalibration(std::uint32_t frames, std::int32_t deviceThreshold,
                         double deviceLightLimit);

    // Takes one frame; false once enough frames are in.
    bool addFrame(const FrameBitmap& frame);
    std::uint32_t frames() const { return frames_.load(); }
    std::uint32_t wantedFrames() const { return wanted_; }
    // Frames whose average is above the device light limit: the lens is open.
    std::uint32_t lightFrames() const { return lightFrames_.load(); }

    // The proposal for `framesPerSecond`; fails when no frame came or no
    // threshold keeps the noise out.
    Result<CameraProfile> propose(double framesPerSecond) const;

    // Expected false events an hour from noise alone at `threshold`, for
    // `values` unmasked values of mean `mean` and deviation `sigma`.
    static double falseEventsPerHour(std::int32_t threshold, double mean, double sigma,
                                     double values, double framesPerSecond);

  private:
    // What the unmasked channel values add up to.
    struct Unmasked {
        double sum = 0.0;
        double sumOfSquares = 0.0;
        double maskedMeans = 0.0;  // the masked values' means, summed
        double meanSum = 0.0;
        double meanSquares = 0.0;
        double meanMin = 255.0;
        double meanMax = 0.0;
        double levelMax = 0.0;
        std::vector<std::uint8_t> maxima;  // one per unmasked value
    };
    // Masks the hot values into `profile` and sums up the others.
    Unmasked maskHotValues(CameraProfile& profile) const;
    CameraProfile::Summary frameAverages(double maskedMeans, double unmasked) const;
    // Reorders `maxima`.
    std::int32_t leastQuietThreshold(const CameraProfile::Statistics& stats,
                                     std::vector<std::uint8_t>& maxima,
                                     double framesPerSecond) const;

    const std::uint32_t wanted_;
    const std::int32_t deviceThreshold_;
    const double deviceLightLimit_;
    std::atomic<std::uint32_t> frames_{0};
    std::atomic<std::uint32_t> lightFrames_{0};
    // Delivery thread while recording, then read by propose.
    std::size_t width_ = 0;
    std::size_t height_ = 0;
    std::vector<std::uint32_t> sum_;
    std::vector<std::uint32_t> sumOfSquares_;
    std::vector<std::uint16_t> hits_;
    std::vector<std::uint8_t> max_;
    std::vector<std::uint64_t> frameSums_;
    std::uint8_t levelMin_ = 255;
};

}  // namespace kesto
