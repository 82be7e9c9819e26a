#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/BitmapProcessorDelegate.h"
#include "engine/CameraProfile.h"
#include "engine/FrameBitmap.h"
#include "engine/RadiationEvent.h"
#include "platform/Date.h"

namespace kesto {

// What one frame shows, before anything is done with it.
struct FrameAnalysis {
    double average = 0.0;   // mean examined channel value (0 for an empty frame)
    std::int32_t hits = 0;  // examined values above the threshold
    std::int32_t max = 0;   // largest examined value
    bool light = false;     // the average, truncated, is above the light limit, truncated
};

// The detection engine: analyses frames while an acquisition runs, keeps the
// acquisition's events and dates, and derives the dose figures from them.
//
// Threads: frames (processBitmap, eventDetected) arrive on the capture
// chain's one delivery thread; everything else is called on the main thread.
// The running flag, the dates and the event list are guarded by one mutex
// (figures read them together, so they never see a half-changed state);
// avg, max, seuil and seuilSigma are atomics.
class BitmapProcessor {
  public:
    static constexpr const char* kMatriceImageChanged = "MatriceImageChanged";
    static constexpr const char* kEventDetected = "EventDetected";
    // An acquisition that has analysed no frame for this long (from its
    // start, when none came) has lost its camera: the time after its last
    // frame was not watched.
    static constexpr double kFramesStopAfter = 5.0;  // seconds

    // The one engine of the process, created on first use with the defaults
    // of this machine's model, never destroyed.
    static BitmapProcessor& sharedInstance();
    // A separate engine with the same defaults, for tools and tests.
    static std::unique_ptr<BitmapProcessor> create();
    // A separate engine with a camera's calibrated figures instead.
    static std::unique_ptr<BitmapProcessor> create(const CameraProfile& profile);
    // A separate engine with this one's threshold, light limit and mask (a
    // second analysis of the same frames). Main thread.
    std::unique_ptr<BitmapProcessor> sibling() const;

    BitmapProcessor();
    BitmapProcessor(const BitmapProcessor&) = delete;
    BitmapProcessor& operator=(const BitmapProcessor&) = delete;

    // Takes a camera's threshold, light limit and hot-pixel mask instead of
    // the device model's: masked channel values enter neither the hits nor
    // the average nor the maximum (frames of another size than the
    // profile's are refused, unanalysed, said once on the console: a
    // profile made for another camera must not measure). Main thread,
    // before frames arrive.
    void applyProfile(const CameraProfile& profile);
    // The number of masked channel values (0 without a profile).
    std::size_t maskedValues() const;

    // Acquisition.
    void startAcquisition();
    void stopAcquisition();
    void resetModel();
    bool acquisitionEnCours() const { return running_.load(std::memory_order_acquire); }
    // Which acquisition the engine holds: one more at every start, so a screen
    // can tell its own from one another screen started since.
    std::uint64_t acquisitionNumber() const;

    // Frames reaching the engine. The frames analysed by the running (or
    // last) acquisition and when the last of them came; whether the running
    // acquisition has had none for kFramesStopAfter seconds; and the ending
    // of an acquisition whose camera stopped at its last frame (at its start
    // when none came), so that its figures cover only the time frames came,
    // which endedByCamera() tells until the next start.
    std::uint64_t acquisitionFrames() const;
    std::optional<Date> lastFrameDate() const;
    bool framesStopped() const;
    void stopAcquisitionAtLastFrame();
    bool endedByCamera() const;

    // Frame analysis; `timestamp` (the capture clock) is not used.
    void processBitmap(const FrameBitmap& frame, double timestamp);
    // The scan of processBitmap alone, whether or not an acquisition runs:
    // no notification, no event, avg and max unchanged. Nothing for a frame
    // that cannot be read (logged). Delivery thread, as processBitmap.
    std::optional<FrameAnalysis> analyseFrame(const FrameBitmap& frame);
    void eventDetected(std::int32_t count, double atTime);

    // Dose figures, computed on demand.
    std::int32_t nbEventDetected() const;
    std::int32_t cumulatedParticules() const;
    double acquisitionDuration() const;
    double instantaneousVD() const;
    double instantaneousRadiation() const;
    double getVdOfRadiationHistoryRecord() const;
    double getVmOfRadiationHistoryRecord() const;

    // Unit texts; each may rescale the value in place (1000 μSv → 1 mSv).
    static std::string getUnitOfValue(double& value);
    static std::string getUnitOfVDValue(double& value);
    static std::string getUnitOfVMValue(double& value);

    // Properties.
    std::optional<Date> startDate() const;
    std::optional<Date> stopDate() const;
    std::optional<Date> getStartDate() const { return startDate(); }
    std::optional<Date> getStopDate() const { return stopDate(); }
    void setStartDate(std::optional<Date> date);
    void setStopDate(std::optional<Date> date);
    // A copy of the event list; nothing before the first startAcquisition.
    std::optional<std::vector<RadiationEvent>> radiationEvents() const;
    void setRadiationEvents(std::optional<std::vector<RadiationEvent>> events);

    BitmapProcessorDelegate* delegate() const { return delegate_.load(); }
    void setDelegate(BitmapProcessorDelegate* delegate) { delegate_.store(delegate); }
    double avg() const { return avg_.load(std::memory_order_relaxed); }
    void setAvg(double value) { avg_.store(value, std::memory_order_relaxed); }
    std::int32_t max() const { return max_.load(std::memory_order_relaxed); }
    void setMax(std::int32_t value) { max_.store(value, std::memory_order_relaxed); }
    std::int32_t seuil() const { return seuil_.load(std::memory_order_relaxed); }
    void setSeuil(std::int32_t value) { seuil_.store(value, std::memory_order_relaxed); }
    float seuilSigma() const { return seuilSigma_.load(std::memory_order_relaxed); }
    void setSeuilSigma(float value) { seuilSigma_.store(value, std::memory_order_relaxed); }

  private:
    struct Acquisition {
        std::optional<Date> startDate;
        std::optional<Date> stopDate;
        bool hasEventList = false;
        std::vector<RadiationEvent> events;
        std::uint64_t number = 0;
        std::uint64_t frames = 0;
        std::optional<Date> lastFrameDate;
        bool endedByCamera = false;  // kept by resetModel
    };

    void applyDeviceDefaults();
    // Elapsed time T: now − start while running, else stop − start (0 when a
    // date is missing). Called with the mutex held.
    static double elapsed(const Acquisition& acquisition, bool running);
    // Checks the frame's geometry and makes the private buffer large enough:
    // the frame's size in bytes, or nothing (one console line) when it is
    // not a frame. Delivery thread.
    std::optional<std::size_t> prepareCopy(const FrameBitmap& frame);
    // Copies the frame into the private buffer, scanning it on the way.
    // Returns the number of values left out by the mask in `masked`.
    bool copyAndScan(const FrameBitmap& frame, struct ScanTotals& totals, std::size_t& masked);
    struct Mask {
        std::size_t width = 0;
        std::size_t height = 0;
        std::vector<std::uint32_t> values;  // sorted channel value indexes
    };
    // The byte offsets of the masked values in frames of this geometry;
    // null when the mask does not fit them. Delivery thread.
    const std::vector<std::size_t>* maskOffsets(std::size_t width, std::size_t height,
                                                std::size_t stride);

    mutable std::mutex mutex_;
    Acquisition acquisition_;           // guarded by mutex_
    std::atomic<bool> running_{false};  // written under mutex_, read anywhere

    std::vector<std::uint8_t> bitmap_;  // delivery thread only
    bool bitmapAllocated_ = false;      // delivery thread only

    mutable std::mutex maskMutex_;
    std::shared_ptr<const Mask> mask_;  // guarded by maskMutex_
    std::atomic<bool> hasMask_{false};  // lets unmasked frames skip the lock
    // The frame size of the profile applied; 0 × 0 without one.
    std::atomic<std::size_t> profileWidth_{0};
    std::atomic<std::size_t> profileHeight_{0};
    bool profileRefusalLogged_ = false;  // delivery thread only
    // Delivery thread only: the mask's offsets for the last frame geometry.
    std::shared_ptr<const Mask> offsetsMask_;
    std::size_t offsetsStride_ = 0;
    std::vector<std::size_t> offsets_;

    std::atomic<BitmapProcessorDelegate*> delegate_{nullptr};
    std::atomic<double> avg_{0.0};
    std::atomic<std::int32_t> max_{0};
    std::atomic<std::int32_t> seuil_{0};
    std::atomic<float> seuilSigma_{0.0f};
};

}  // namespace kesto
