#include "engine/DarkFrameCalibration.h"

#include <algorithm>
#include <cmath>

#include "platform/Format.h"

namespace kesto {
namespace {

CameraProfile::Summary summarise(double sum, double sumOfSquares, double count, double min,
                                 double max) {
    CameraProfile::Summary summary;
    if (count <= 0.0) {
        return summary;
    }
    summary.mean = sum / count;
    summary.sigma = std::sqrt(std::max(0.0, sumOfSquares / count - summary.mean * summary.mean));
    summary.min = min;
    summary.max = max;
    return summary;
}

}  // namespace

DarkFrameCalibration::DarkFrameCalibration(std::uint32_t frames, std::int32_t deviceThreshold,
                                           double deviceLightLimit)
    : wanted_(std::clamp<std::uint32_t>(frames, 1, kMaximumFrames)),
      deviceThreshold_(deviceThreshold),
      deviceLightLimit_(deviceLightLimit) {}

bool DarkFrameCalibration::addFrame(const FrameBitmap& frame) {
    const std::uint32_t done = frames_.load(std::memory_order_relaxed);
    if (done >= wanted_) {
        return false;
    }
    if (frame.baseAddress == nullptr || frame.width == 0 || frame.height == 0 ||
        frame.bytesPerRow < frame.width * FrameBitmap::kBytesPerPixel ||
        (done > 0 && (frame.width != width_ || frame.height != height_))) {
        return true;
    }
    if (done == 0) {
        width_ = frame.width;
        height_ = frame.height;
        const std::size_t values = width_ * height_ * 3;
        sum_.assign(values, 0);
        sumOfSquares_.assign(values, 0);
        hits_.assign(values, 0);
        max_.assign(values, 0);
        frameSums_.reserve(wanted_);
    }
    std::uint64_t frameSum = 0;
    std::uint8_t levelMin = 255;
    const auto threshold = deviceThreshold_;
    for (std::size_t y = 0; y < height_; ++y) {
        const std::uint8_t* row = frame.baseAddress + y * frame.bytesPerRow;
        std::size_t index = y * width_ * 3;
        for (std::size_t x = 0; x < width_; ++x) {
            for (std::size_t c = 0; c < 3; ++c, ++index) {
                const std::uint32_t v = row[x * 4 + c];
                frameSum += v;
                sum_[index] += v;
                sumOfSquares_[index] += v * v;
                if (static_cast<std::int32_t>(v) > threshold) {
                    ++hits_[index];
                }
                max_[index] = std::max<std::uint8_t>(max_[index], static_cast<std::uint8_t>(v));
                levelMin = std::min<std::uint8_t>(levelMin, static_cast<std::uint8_t>(v));
            }
        }
    }
    frameSums_.push_back(frameSum);
    levelMin_ = std::min(levelMin_, levelMin);
    const double average = static_cast<double>(frameSum) / static_cast<double>(sum_.size());
    if (average > deviceLightLimit_) {
        lightFrames_.fetch_add(1);
    }
    frames_.store(done + 1, std::memory_order_release);
    return done + 1 < wanted_;
}

// A frame makes a false event when any unmasked value exceeds the threshold
// T. The dark level of an unmasked value is modelled as normal, with the
// mean μ and deviation σ measured over all unmasked values and frames, so
// one value exceeds T (integer levels: reaches T + 1) with probability
// q = P(X > T + ½) = ½ erfc((T + ½ − μ) ÷ (σ √2)). For M values the chance
// that a frame has any is 1 − (1 − q)^M ≈ M q (q is tiny where it matters),
// and at f frames a second an hour holds 3600 f frames: false events an
// hour ≈ 3600 f M q. The threshold proposed is the least one that keeps this
// below one; a few hundred frames could never show such rare excursions
// directly, hence the fitted tail.
double DarkFrameCalibration::falseEventsPerHour(std::int32_t threshold, double mean, double sigma,
                                                double values, double framesPerSecond) {
    const double level = threshold + 0.5;
    double perValue = 0.0;
    if (sigma > 0.0) {
        perValue = 0.5 * std::erfc((level - mean) / (sigma * std::sqrt(2.0)));
    } else {
        perValue = mean > level ? 1.0 : 0.0;
    }
    const double perFrame = -std::expm1(values * std::log1p(-std::min(perValue, 1.0 - 1e-16)));
    return perFrame * framesPerSecond * 3600.0;
}

Result<CameraProfile> DarkFrameCalibration::propose(double framesPerSecond) const {
    const std::uint32_t frames = frames_.load(std::memory_order_acquire);
    if (frames == 0) {
        return fail("no frame was recorded");
    }
    CameraProfile profile;
    profile.width = width_;
    profile.height = height_;
    auto& stats = profile.statistics;
    stats.frames = frames;
    stats.deviceThreshold = deviceThreshold_;
    stats.deviceLightLimit = deviceLightLimit_;

    Unmasked unmasked = maskHotValues(profile);
    if (unmasked.maxima.empty()) {
        return fail("every channel value is bright in most frames: the lens is not covered");
    }
    const double values = static_cast<double>(unmasked.maxima.size());
    stats.darkLevel = summarise(unmasked.sum, unmasked.sumOfSquares, values * frames, levelMin_,
                                unmasked.levelMax);
    stats.valueMeans = summarise(unmasked.meanSum, unmasked.meanSquares, values, unmasked.meanMin,
                                 unmasked.meanMax);
    stats.frameAverage = frameAverages(unmasked.maskedMeans, values);

    const std::int32_t threshold = leastQuietThreshold(stats, unmasked.maxima, framesPerSecond);
    if (threshold > 254) {
        return fail(cformat(
            "the dark noise (level %.1f \u00B1 %.1f, up to %.0f) leaves no usable threshold: "
            "is the lens covered?",
            stats.darkLevel.mean, stats.darkLevel.sigma, unmasked.levelMax));
    }
    profile.threshold = threshold;
    stats.falseEventsPerHour = falseEventsPerHour(threshold, stats.darkLevel.mean,
                                                  stats.darkLevel.sigma, values, framesPerSecond);

    // Light: well above anything a dark frame showed, never below the device's limit.
    const double darkCeiling =
        stats.frameAverage.max + std::max(6.0 * stats.frameAverage.sigma, 1.0) + 1.0;
    profile.lightLimit = std::min(255.0, std::max(deviceLightLimit_, std::ceil(darkCeiling)));
    return profile;
}

DarkFrameCalibration::Unmasked DarkFrameCalibration::maskHotValues(CameraProfile& profile) const {
    auto& stats = profile.statistics;
    const double n = stats.frames;
    Unmasked unmasked;
    unmasked.maxima.reserve(sum_.size());
    for (std::size_t i = 0; i < sum_.size(); ++i) {
        const double share = hits_[i] / n;
        const double mean = sum_[i] / n;
        if (share >= kHotShare) {
            profile.mask.push_back(static_cast<std::uint32_t>(i));
            unmasked.maskedMeans += mean;
            continue;
        }
        stats.largestUnmaskedHitShare = std::max(stats.largestUnmaskedHitShare, share);
        stats.valuesWithHits += hits_[i] > 0 ? 1 : 0;
        unmasked.sum += sum_[i];
        unmasked.sumOfSquares += sumOfSquares_[i];
        unmasked.meanSum += mean;
        unmasked.meanSquares += mean * mean;
        unmasked.meanMin = std::min(unmasked.meanMin, mean);
        unmasked.meanMax = std::max(unmasked.meanMax, mean);
        unmasked.levelMax = std::max<double>(unmasked.levelMax, max_[i]);
        unmasked.maxima.push_back(max_[i]);
    }
    return unmasked;
}

// Frame averages without the masked values, whose own levels barely move.
CameraProfile::Summary DarkFrameCalibration::frameAverages(double maskedMeans,
                                                           double unmasked) const {
    double sum = 0.0, squares = 0.0, min = 255.0, max = 0.0;
    for (const auto frameSum : frameSums_) {
        const double average = (static_cast<double>(frameSum) - maskedMeans) / unmasked;
        sum += average;
        squares += average * average;
        min = std::min(min, average);
        max = std::max(max, average);
    }
    return summarise(sum, squares, static_cast<double>(frameSums_.size()), min, max);
}

std::int32_t DarkFrameCalibration::leastQuietThreshold(const CameraProfile::Statistics& stats,
                                                       std::vector<std::uint8_t>& maxima,
                                                       double framesPerSecond) const {
    // The least threshold that the fitted tail keeps below one false event an hour...
    const double values = static_cast<double>(maxima.size());
    std::int32_t threshold = std::max(deviceThreshold_, 0);
    while (threshold < 255 &&
           falseEventsPerHour(threshold, stats.darkLevel.mean, stats.darkLevel.sigma, values,
                              framesPerSecond) >= 1.0) {
        ++threshold;
    }
    // ...and that the recorded frames themselves crossed in no more than a
    // handful of values (the tail can be heavier than the fit).
    if (maxima.size() > kParticleAllowance) {
        auto nth = maxima.end() - static_cast<std::ptrdiff_t>(kParticleAllowance + 1);
        std::nth_element(maxima.begin(), nth, maxima.end());
        threshold = std::max<std::int32_t>(threshold, *nth);
    }
    return threshold;
}

}  // namespace kesto
