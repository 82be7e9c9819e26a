#include "camera/SimulatedSensor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "camera/SensorSpec.h"
#include "platform/Console.h"
#include "platform/Format.h"

namespace kesto {
namespace {

// SplitMix64: a counter-based generator, so any frame can be made from its
// key alone, without replaying the frames before it.
class SplitMix64 {
  public:
    explicit SplitMix64(std::uint64_t state) : state_(state) {}
    // A generator for one purpose (`stream`) of one frame.
    static SplitMix64 keyed(std::uint64_t seed, std::uint64_t index, std::uint64_t stream) {
        SplitMix64 mixer(seed);
        const std::uint64_t base = mixer.next();
        SplitMix64 keyMixer(index * 4 + stream);
        return SplitMix64(base ^ keyMixer.next());
    }
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

  private:
    std::uint64_t state_;
};

enum Stream : std::uint64_t { kNoiseChoice = 0, kParticles = 1, kHits = 2, kNoise = 3 };

// The Poisson value whose cumulative probability first reaches `u`.
int poissonInverse(double mu, double u) {
    double p = std::exp(-mu);
    double cumulative = p;
    int k = 0;
    while (u > cumulative && k < 10000 && p > 0.0) {
        ++k;
        p *= mu / k;
        cumulative += p;
    }
    return k;
}

}  // namespace

SimulatedSensor::SimulatedSensor(std::size_t width, std::size_t height, std::uint64_t seed,
                                 double rate, bool lensOpen, std::size_t hotPixels,
                                 std::uint32_t darkLevel, std::optional<std::uint64_t> hotSeed)
    : width_(width),
      height_(height),
      seed_(seed),
      hotSeed_(hotSeed.value_or(seed)),
      rate_(rate),
      lensOpen_(lensOpen) {
    makeNoiseFrames(darkLevel, placeHotPixels(hotPixels));
    if (rate > kSaturationRate) {
        logSaturation(rate);
    }
}

std::vector<std::uint8_t> SimulatedSensor::placeHotPixels(std::size_t count) {
    // Distinct pixels, one channel each, at a level of their own.
    const std::size_t pixels = width_ * height_;
    auto rng = SplitMix64::keyed(hotSeed_, kNoiseFrames, kNoise);
    std::set<std::size_t> hotPixelSet;
    std::set<std::uint32_t> hot;
    while (hotPixelSet.size() < std::min(count, pixels)) {
        const std::uint64_t r = rng.next();
        if (hotPixelSet.insert(r % pixels).second) {
            hot.insert(static_cast<std::uint32_t>((r % pixels) * 3 + (r >> 32) % 3));
        }
    }
    hotValues_.assign(hot.begin(), hot.end());
    std::vector<std::uint8_t> levels;
    for (std::size_t i = 0; i < hotValues_.size(); ++i) {
        levels.push_back(static_cast<std::uint8_t>(kHotLevelMin + rng.next() % 56));
    }
    return levels;
}

void SimulatedSensor::makeNoiseFrames(std::uint32_t darkLevel,
                                      const std::vector<std::uint8_t>& hotLevels) {
    const std::size_t pixels = width_ * height_;
    const std::uint32_t spread = 2 * std::min<std::uint32_t>(darkLevel, 100) + 1;
    for (std::size_t i = 0; i < kNoiseFrames; ++i) {
        auto rng = SplitMix64::keyed(seed_, i, kNoise);
        auto& dark = dark_[i];
        auto& open = open_[i];
        dark.resize(pixels * 4);
        open.resize(pixels * 4);
        for (std::size_t p = 0; p < pixels; ++p) {
            const std::uint64_t r = rng.next();
            for (std::size_t c = 0; c < 3; ++c) {
                // 0..2L around the dark level L: read noise of a covered sensor.
                const auto v = static_cast<std::uint8_t>((((r >> (c * 8)) & 0xFF) * spread) >> 8);
                dark[p * 4 + c] = v;
                open[p * 4 + c] = static_cast<std::uint8_t>(std::min(255, kOpenLensLevel + v));
            }
            dark[p * 4 + 3] = 255;
            open[p * 4 + 3] = 255;
        }
        for (std::size_t h = 0; h < hotValues_.size(); ++h) {
            const std::size_t at = hotValues_[h] / 3 * 4 + hotValues_[h] % 3;
            dark[at] = hotLevels[h];
            open[at] = std::max(open[at], hotLevels[h]);
        }
    }
}

bool SimulatedSensor::setRate(double microSievertsPerHour) {
    if (!(microSievertsPerHour >= 0.0 && microSievertsPerHour <= SensorSpec::kMaximumRate)) {
        Console::logf(
            "Simulated sensor: rate refused: %f is not a dose rate from 0 to 100000 "
            "\u03BCSv/h",
            microSievertsPerHour);
        return false;
    }
    rate_.store(microSievertsPerHour);
    if (microSievertsPerHour > kSaturationRate) {
        logSaturation(microSievertsPerHour);
    }
    return true;
}

void SimulatedSensor::setLensOpen(bool open) {
    lensOpen_.store(open);
}

void SimulatedSensor::logSaturation(double rate) const {
    Console::logf(
        "Simulated sensor: %.2f \u03BCSv/h is above the 1980 \u03BCSv/h that ten "
        "frames a second can show: every frame carries hits, the reading saturates",
        rate);
}

std::string SimulatedSensor::description() const {
    return cformat("simulated sensor (%.2f \u03BCSv/h%s)", rate(), lensOpen() ? ", lens open" : "");
}

int SimulatedSensor::particlesInFrame(std::uint64_t index) const {
    const double perFrame = rate() / DoseModel::kOneEventPerSecond / kFramesPerSecond;
    if (!(perFrame > 0.0)) {
        return 0;
    }
    auto rng = SplitMix64::keyed(seed_, index, kParticles);
    if (perFrame >= 1.0) {
        return std::max(1, poissonInverse(perFrame, rng.uniform()));
    }
    // A frame carries hits with probability perFrame, so events come at the
    // rate the dose model expects; it then holds the particles of a Poisson
    // stream whose chance of at least one per frame is that probability.
    if (rng.uniform() >= perFrame) {
        return 0;
    }
    const double mu = -std::log1p(-perFrame);
    const double none = std::exp(-mu);
    return std::max(1, poissonInverse(mu, none + rng.uniform() * (1.0 - none)));
}

FrameBitmap SimulatedSensor::renderFrame(std::uint64_t index,
                                         std::vector<std::uint8_t>& buffer) const {
    const std::size_t bytesPerRow = width_ * 4;
    buffer.resize(bytesPerRow * height_);
    auto choice = SplitMix64::keyed(seed_, index, kNoiseChoice);
    const auto& noise = (lensOpen() ? open_ : dark_)[choice.next() % kNoiseFrames];
    std::memcpy(buffer.data(), noise.data(), buffer.size());

    const int particles = particlesInFrame(index);
    auto rng = SplitMix64::keyed(seed_, index, kHits);
    for (int i = 0; i < particles; ++i) {
        const auto x = static_cast<std::int64_t>(rng.next() % width_);
        const auto y = static_cast<std::int64_t>(rng.next() % height_);
        const std::uint64_t values = 2 + rng.next() % 4;
        for (std::uint64_t j = 0; j < values; ++j) {
            const std::uint64_t r = rng.next();
            // The struck pixel first, then its neighbours.
            const std::int64_t dx = j == 0 ? 0 : static_cast<std::int64_t>(r % 3) - 1;
            const std::int64_t dy = j == 0 ? 0 : static_cast<std::int64_t>((r / 3) % 3) - 1;
            const auto px = static_cast<std::size_t>(
                std::clamp<std::int64_t>(x + dx, 0, static_cast<std::int64_t>(width_) - 1));
            const auto py = static_cast<std::size_t>(
                std::clamp<std::int64_t>(y + dy, 0, static_cast<std::int64_t>(height_) - 1));
            const std::size_t channel = (r >> 8) % 3;
            const auto level = static_cast<std::uint8_t>(kHitLevelMin + (r >> 16) % 116);
            std::uint8_t& value = buffer[py * bytesPerRow + px * 4 + channel];
            value = std::max(value, level);
        }
    }
    return FrameBitmap{buffer.data(), width_, height_, bytesPerRow};
}

std::optional<FrameBitmap> SimulatedSensor::nextFrame(std::vector<std::uint8_t>& buffer) {
    const std::uint64_t index = nextIndex_.fetch_add(1);
    if (index >= frameLimit_.load()) {
        return std::nullopt;
    }
    return renderFrame(index, buffer);
}

void SimulatedSensor::sessionStarted() {
    Console::logf(
        "SIMULATED sensor, not a measurement: %zu \u00D7 %zu frames, %.2f \u03BCSv/h, "
        "seed %llu, hot-pixel seed %llu, lens %s",
        width_, height_, rate(), static_cast<unsigned long long>(seed_),
        static_cast<unsigned long long>(hotSeed_), lensOpen() ? "open" : "covered");
}

}  // namespace kesto
