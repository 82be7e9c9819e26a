#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Result.h"

namespace kesto {

// What calibration learnt about one camera from covered frames: the
// detection threshold and light limit to use instead of the device model's,
// the hot-pixel mask, and the statistics behind them so a person can judge.
//
// Channel values are numbered as the engine examines them: value
// (y × width + x) × 3 + c for colour byte c (blue, green, red) of pixel
// (x, y). The mask is sorted, without repeats.
//
// A value object; any thread.
struct CameraProfile {
    struct Summary {
        double mean = 0.0;
        double sigma = 0.0;
        double min = 0.0;
        double max = 0.0;
    };
    struct Statistics {
        std::uint32_t frames = 0;
        // Dark level of the unmasked channel values, over all frames.
        Summary darkLevel;
        // Per-value mean dark levels: how much the values differ from each other.
        Summary valueMeans;
        // The frames' averages (unmasked values).
        Summary frameAverage;
        // Per-value share of frames above the device threshold: the largest
        // among unmasked values, and how many values had any hit at all.
        double largestUnmaskedHitShare = 0.0;
        std::uint64_t valuesWithHits = 0;
        // The device model's figures the proposal is compared with.
        std::int32_t deviceThreshold = 0;
        double deviceLightLimit = 0.0;
        // At the proposed threshold, from the fitted dark-level tail.
        double falseEventsPerHour = 0.0;
    };

    // The least threshold of any machine model; calibration never proposes
    // one below its own model's. Lower, dark noise itself makes hits.
    static constexpr std::int32_t kLeastThreshold = 92;

    std::string identity;
    std::int32_t threshold = 0;  // a value strictly above it is a hit
    double lightLimit = 0.0;     // a frame average above it is light
    std::size_t width = 0;
    std::size_t height = 0;
    std::vector<std::uint32_t> mask;
    Statistics statistics;

    // The number of channel values of a frame of this size.
    std::size_t values() const { return width * height * 3; }
    // Fails when the figures cannot be used as they are.
    Result<void> validate() const;
};

}  // namespace kesto
