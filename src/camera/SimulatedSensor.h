#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "camera/FrameSource.h"
#include "engine/DoseModel.h"

namespace kesto {

// A simulated covered camera sensor, for demonstrations and tests. It is
// never a measurement: it says so when a session starts reading it and in
// its description.
//
// Frames are dark (channel values 0 to 2L around a mean dark level L, by
// default 0 to 10, far below any detection threshold), or evenly lit (80
// higher) when the lens is open. Hot pixels, when asked for, are placed by
// their own seed (by default the seed): each has one channel value that is
// bright (200 to 255) in every frame, as a defective photosite of a real
// camera is, so one hot-pixel seed is one camera whatever the seed. Particles
// strike as a random process whose event rate follows the dose model: a
// rate of R μSv/h gives R ÷ 198 frames with hits a second, i.e. a frame
// carries hits with probability R ÷ 1980 at 10 frames a second. The number
// of particles in such a frame is Poisson, conditioned on at least one;
// each lights 2 to 5 channel values (140 to 255) around its pixel.
//
// Ten frames a second can show at most ten events a second, 1980 μSv/h.
// Above that every frame carries hits (as many particles as the rate
// gives) and the engine reads 1980 μSv/h: the real sensor saturates the
// same way. The simulator says so when such a rate is set.
//
// Frame k depends only on the seed, k, the rate and the lens: the noise
// comes from a few frames made once from the seed, the hits from a counter
// keyed by (seed, k). Frames are numbered across sessions, so a second
// measurement does not replay the first.
//
// Threads: nextFrame on a delivery queue (the frame counter is atomic);
// setRate / setLensOpen and the getters from any thread.
class SimulatedSensor : public FrameSource {
  public:
    static constexpr double kFramesPerSecond = 10.0;
    // μSv/h: one event per frame.
    static constexpr double kSaturationRate = DoseModel::kOneEventPerSecond * kFramesPerSecond;
    static constexpr std::uint32_t kDefaultDarkLevel = 5;
    static constexpr std::uint8_t kHotLevelMin = 200;
    static constexpr std::uint8_t kOpenLensLevel = 80;
    static constexpr std::uint8_t kHitLevelMin = 140;

    SimulatedSensor(std::size_t width, std::size_t height, std::uint64_t seed, double rate,
                    bool lensOpen, std::size_t hotPixels = 0,
                    std::uint32_t darkLevel = kDefaultDarkLevel,
                    std::optional<std::uint64_t> hotSeed = std::nullopt);

    // Refuses (false, one console line) a rate that is not a number from 0 to 100000.
    bool setRate(double microSievertsPerHour);
    double rate() const { return rate_.load(); }
    void setLensOpen(bool open);
    bool lensOpen() const { return lensOpen_.load(); }
    // Frames from number `frames` on (counting every frame made so far) are
    // never delivered, without a word: a camera that stops sending.
    // Unlimited by default.
    void setFrameLimit(std::uint64_t frames) { frameLimit_.store(frames); }
    bool isSilent() const override { return nextIndex_.load() >= frameLimit_.load(); }

    std::uint64_t seed() const { return seed_; }
    std::uint64_t hotSeed() const { return hotSeed_; }
    // The hot channel values, as the engine numbers them: (y × width + x) × 3 + c.
    const std::vector<std::uint32_t>& hotValues() const { return hotValues_; }
    std::size_t width() const { return width_; }
    std::size_t height() const { return height_; }
    // "simulated sensor (0.50 μSv/h)", "... (0.50 μSv/h, lens open)".
    std::string description() const;

    // Particles striking frame `index` at the current rate (0 for most).
    int particlesInFrame(std::uint64_t index) const;
    // Renders frame `index` into `buffer` (resized once, then reused).
    FrameBitmap renderFrame(std::uint64_t index, std::vector<std::uint8_t>& buffer) const;

    std::optional<FrameBitmap> nextFrame(std::vector<std::uint8_t>& buffer) override;
    void sessionStarted() override;

  private:
    static constexpr std::size_t kNoiseFrames = 4;

    void logSaturation(double rate) const;
    // Places `count` hot pixels by the hot seed, with their levels.
    std::vector<std::uint8_t> placeHotPixels(std::size_t count);
    // The dark and open-lens noise frames, hot pixels included.
    void makeNoiseFrames(std::uint32_t darkLevel, const std::vector<std::uint8_t>& hotLevels);

    const std::size_t width_;
    const std::size_t height_;
    const std::uint64_t seed_;
    const std::uint64_t hotSeed_;
    std::atomic<double> rate_;
    std::atomic<bool> lensOpen_;
    std::atomic<std::uint64_t> nextIndex_{0};
    std::atomic<std::uint64_t> frameLimit_{~std::uint64_t{0}};
    // Made once: dark and open-lens noise frames, alpha 255.
    std::array<std::vector<std::uint8_t>, kNoiseFrames> dark_;
    std::array<std::vector<std::uint8_t>, kNoiseFrames> open_;
    std::vector<std::uint32_t> hotValues_;  // sorted
};

}  // namespace kesto
