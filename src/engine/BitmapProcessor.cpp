#include "engine/BitmapProcessor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/DoseModel.h"
#include "engine/LightReport.h"
#include "engine/internal/FrameScanner.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/DeviceUtil.h"
#include "platform/NoDestructor.h"
#include "platform/NotificationCenter.h"

namespace kesto {
namespace {

// Multiplies without wrapping; false when the product does not fit.
bool multiply(std::size_t a, std::size_t b, std::size_t& product) {
    return !__builtin_mul_overflow(a, b, &product);
}

// Truncates toward zero like a C cast, without undefined behaviour for
// values out of range or not a number.
std::int64_t truncated(double value) {
    if (!(value == value)) {
        return 0;
    }
    constexpr double limit = 9.2e18;
    return static_cast<std::int64_t>(std::clamp(value, -limit, limit));
}

std::int32_t saturated(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// Copies and scans the run [begin, end) of whole pixels, leaving out the
// masked values at the sorted byte offsets from `next` on: the runs between
// them take the vectorised scan, each pixel holding one takes a plain copy
// and a count of its other channels.
void scanAround(const std::uint8_t* source, std::uint8_t* copy, std::size_t begin, std::size_t end,
                std::int32_t threshold, ScanTotals& totals, const std::size_t*& next,
                const std::size_t* last) {
    std::size_t at = begin;
    while (next != last && *next < end) {
        const std::size_t pixel = *next & ~std::size_t{3};
        FrameScanner::copyAndScan(source + at, copy + at, pixel - at, threshold, totals);
        std::memcpy(copy + pixel, source + pixel, FrameBitmap::kBytesPerPixel);
        unsigned masked = 0;
        for (; next != last && *next < pixel + FrameBitmap::kBytesPerPixel; ++next) {
            masked |= 1u << (*next - pixel);
        }
        for (std::size_t c = 0; c < 3; ++c) {
            if ((masked & (1u << c)) == 0) {
                const std::uint8_t v = source[pixel + c];
                totals.sum += v;
                totals.hits += static_cast<std::int32_t>(v) > threshold ? 1 : 0;
                totals.max = std::max(totals.max, v);
            }
        }
        at = pixel + FrameBitmap::kBytesPerPixel;
    }
    FrameScanner::copyAndScan(source + at, copy + at, end - at, threshold, totals);
}

}  // namespace

BitmapProcessor& BitmapProcessor::sharedInstance() {
    static NoDestructor<BitmapProcessor> instance;
    return instance.get();
}

std::unique_ptr<BitmapProcessor> BitmapProcessor::create() {
    return std::make_unique<BitmapProcessor>();
}

std::unique_ptr<BitmapProcessor> BitmapProcessor::create(const CameraProfile& profile) {
    auto engine = std::make_unique<BitmapProcessor>();
    engine->applyProfile(profile);
    return engine;
}

std::unique_ptr<BitmapProcessor> BitmapProcessor::sibling() const {
    auto engine = std::make_unique<BitmapProcessor>();
    engine->setSeuil(seuil());
    engine->setSeuilSigma(seuilSigma());
    engine->profileWidth_.store(profileWidth_.load());
    engine->profileHeight_.store(profileHeight_.load());
    std::lock_guard lock(maskMutex_);
    engine->mask_ = mask_;
    engine->hasMask_.store(mask_ != nullptr);
    return engine;
}

void BitmapProcessor::applyProfile(const CameraProfile& profile) {
    setSeuil(profile.threshold);
    setSeuilSigma(static_cast<float>(profile.lightLimit));
    profileWidth_.store(profile.width);
    profileHeight_.store(profile.height);
    auto mask = std::make_shared<Mask>(Mask{profile.width, profile.height, profile.mask});
    std::lock_guard lock(maskMutex_);
    mask_ = mask->values.empty() ? nullptr : std::move(mask);
    hasMask_.store(mask_ != nullptr);
}

std::size_t BitmapProcessor::maskedValues() const {
    std::lock_guard lock(maskMutex_);
    return mask_ ? mask_->values.size() : 0;
}

const std::vector<std::size_t>* BitmapProcessor::maskOffsets(std::size_t width, std::size_t height,
                                                             std::size_t stride) {
    std::shared_ptr<const Mask> mask;
    {
        std::lock_guard lock(maskMutex_);
        mask = mask_;
    }
    if (!mask) {
        return nullptr;
    }
    if (mask->width != width || mask->height != height) {
        return nullptr;  // refused before the scan
    }
    if (mask != offsetsMask_ || stride != offsetsStride_) {
        offsets_.clear();
        offsets_.reserve(mask->values.size());
        for (const std::uint32_t index : mask->values) {
            const std::size_t pixel = index / 3;
            offsets_.push_back((pixel / width) * stride +
                               (pixel % width) * FrameBitmap::kBytesPerPixel + index % 3);
        }
        offsetsMask_ = mask;
        offsetsStride_ = stride;
    }
    return &offsets_;
}

BitmapProcessor::BitmapProcessor() {
    applyDeviceDefaults();
}

void BitmapProcessor::applyDeviceDefaults() {
    // One model's sensor is noisier: it gets its own threshold and limit.
    if (DeviceUtil::isIPhone4()) {
        setSeuil(92);
        setSeuilSigma(30.0f);
    } else {
        setSeuil(100);
        setSeuilSigma(20.0f);
    }
}

void BitmapProcessor::startAcquisition() {
    std::lock_guard lock(mutex_);
    acquisition_.startDate = Clock::now();
    acquisition_.events.clear();
    acquisition_.hasEventList = true;
    ++acquisition_.number;
    acquisition_.frames = 0;
    acquisition_.lastFrameDate.reset();
    acquisition_.endedByCamera = false;
    running_.store(true, std::memory_order_release);
}

void BitmapProcessor::stopAcquisition() {
    std::lock_guard lock(mutex_);
    acquisition_.stopDate = Clock::now();
    running_.store(false, std::memory_order_release);
}

void BitmapProcessor::resetModel() {
    std::lock_guard lock(mutex_);
    acquisition_.startDate.reset();
    acquisition_.stopDate.reset();
    acquisition_.events.clear();
    acquisition_.frames = 0;
    acquisition_.lastFrameDate.reset();
}

std::uint64_t BitmapProcessor::acquisitionFrames() const {
    std::lock_guard lock(mutex_);
    return acquisition_.frames;
}

std::optional<Date> BitmapProcessor::lastFrameDate() const {
    std::lock_guard lock(mutex_);
    return acquisition_.lastFrameDate;
}

bool BitmapProcessor::framesStopped() const {
    std::lock_guard lock(mutex_);
    if (!acquisitionEnCours()) {
        return false;
    }
    const std::optional<Date>& since =
        acquisition_.lastFrameDate ? acquisition_.lastFrameDate : acquisition_.startDate;
    return since && Clock::now().timeIntervalSince(*since) >= kFramesStopAfter;
}

void BitmapProcessor::stopAcquisitionAtLastFrame() {
    std::lock_guard lock(mutex_);
    acquisition_.stopDate =
        acquisition_.lastFrameDate ? acquisition_.lastFrameDate : acquisition_.startDate;
    acquisition_.endedByCamera = true;
    running_.store(false, std::memory_order_release);
}

bool BitmapProcessor::endedByCamera() const {
    std::lock_guard lock(mutex_);
    return acquisition_.endedByCamera;
}

std::optional<std::size_t> BitmapProcessor::prepareCopy(const FrameBitmap& frame) {
    std::size_t rowBytes = 0;
    std::size_t frameBytes = 0;
    if (!multiply(frame.width, FrameBitmap::kBytesPerPixel, rowBytes) ||
        frame.bytesPerRow < rowBytes || !multiply(frame.bytesPerRow, frame.height, frameBytes)) {
        Console::logf("Frame ignored: %zu * %zu pixels do not fit in %zu bytes per row",
                      frame.width, frame.height, frame.bytesPerRow);
        return std::nullopt;
    }
    if (frameBytes > 0 && frame.baseAddress == nullptr) {
        Console::log("Frame ignored: no pixel data");
        return std::nullopt;
    }
    if (!bitmapAllocated_) {
        Console::logf("Image size : %zu * %zu", frame.width, frame.height);
        bitmapAllocated_ = true;
    }
    if (bitmap_.size() < frameBytes) {
        // A later, larger frame grows the buffer rather than overflowing it.
        bitmap_.resize(frameBytes);
    }
    return frameBytes;
}

bool BitmapProcessor::copyAndScan(const FrameBitmap& frame, ScanTotals& totals,
                                  std::size_t& masked) {
    const std::optional<std::size_t> frameBytes = prepareCopy(frame);
    if (!frameBytes || *frameBytes == 0) {
        return frameBytes.has_value();
    }
    const std::size_t width = frame.width;
    const std::size_t height = frame.height;
    const std::size_t rowBytes = width * FrameBitmap::kBytesPerPixel;

    // Row r is scanned from r × (bytes per row rounded down to whole pixels),
    // and only its first 4 × width bytes count; every byte is copied. Each
    // byte is read once: the scanned bytes by the fused copy and scan, the
    // rest by plain copies.
    std::uint8_t* copy = bitmap_.data();
    const std::uint8_t* source = frame.baseAddress;
    const std::int32_t threshold = seuil();
    const std::size_t stride = frame.bytesPerRow & ~std::size_t{3};
    const auto* offsets =
        hasMask_.load(std::memory_order_relaxed) ? maskOffsets(width, height, stride) : nullptr;
    if (offsets != nullptr) {
        masked = offsets->size();
        const std::size_t* next = offsets->data();
        const std::size_t* last = next + offsets->size();
        if (stride == rowBytes) {
            scanAround(source, copy, 0, height * rowBytes, threshold, totals, next, last);
        } else {
            for (std::size_t row = 0; row < height; ++row) {
                const std::size_t start = row * stride;
                scanAround(source, copy, start, start + rowBytes, threshold, totals, next, last);
                std::memcpy(copy + start + rowBytes, source + start + rowBytes, stride - rowBytes);
            }
        }
    } else if (stride == rowBytes) {
        // Back-to-back rows form one run of width × height pixels.
        FrameScanner::copyAndScan(source, copy, height * rowBytes, threshold, totals);
    } else {
        for (std::size_t row = 0; row < height; ++row) {
            const std::size_t start = row * stride;
            FrameScanner::copyAndScan(source + start, copy + start, rowBytes, threshold, totals);
            std::memcpy(copy + start + rowBytes, source + start + rowBytes, stride - rowBytes);
        }
    }
    const std::size_t scanned = height * stride;
    std::memcpy(copy + scanned, source + scanned, *frameBytes - scanned);
    return true;
}

std::optional<FrameAnalysis> BitmapProcessor::analyseFrame(const FrameBitmap& frame) {
    const std::size_t profileWidth = profileWidth_.load();
    const std::size_t profileHeight = profileHeight_.load();
    if (profileWidth != 0 && (frame.width != profileWidth || frame.height != profileHeight)) {
        // Another camera's threshold and hot pixels would make up hits.
        if (!profileRefusalLogged_) {
            profileRefusalLogged_ = true;
            Console::logf(
                "Frames refused: the camera profile is for %zu \u00D7 %zu frames, these are "
                "%zu \u00D7 %zu (run 'kesto calibrate' for this camera)",
                profileWidth, profileHeight, frame.width, frame.height);
        }
        return std::nullopt;
    }
    ScanTotals totals;
    std::size_t masked = 0;
    if (!copyAndScan(frame, totals, masked)) {
        return std::nullopt;
    }
    const double values =
        static_cast<double>(frame.height) * 3.0 * static_cast<double>(frame.width) -
        static_cast<double>(masked);
    FrameAnalysis analysis;
    // An empty frame has no values to average: its level is 0, not 0 ÷ 0.
    analysis.average = values > 0.0 ? static_cast<double>(totals.sum) / values : 0.0;
    analysis.hits = static_cast<std::int32_t>(
        std::min<std::uint64_t>(totals.hits, std::numeric_limits<std::int32_t>::max()));
    analysis.max = totals.max;
    analysis.light = truncated(analysis.average) > truncated(seuilSigma());
    return analysis;
}

void BitmapProcessor::processBitmap(const FrameBitmap& frame, double /*timestamp*/) {
    if (!acquisitionEnCours()) {
        return;
    }
    const auto analysis = analyseFrame(frame);
    if (!analysis) {
        return;
    }
    const PropertyListValue payload =
        LightReport{saturated(truncated(analysis->average)), saturated(truncated(seuilSigma()))}
            .payload();
    NotificationCenter::defaultCenter().post(kMatriceImageChanged, this, &payload);

    double time = 0.0;
    {
        std::lock_guard lock(mutex_);
        const Date now = Clock::now();
        ++acquisition_.frames;
        acquisition_.lastFrameDate = now;
        if (acquisition_.startDate) {
            time = now.timeIntervalSince(*acquisition_.startDate);
        }
    }
    if (analysis->hits >= 1) {
        eventDetected(analysis->hits, time);
    }
    setAvg(analysis->average);
    setMax(analysis->max);
}

void BitmapProcessor::eventDetected(std::int32_t count, double atTime) {
    const auto event = RadiationEvent::RadiationEventAtTime(atTime, count);
    {
        std::lock_guard lock(mutex_);
        if (acquisition_.hasEventList) {
            acquisition_.events.push_back(event);
        }
    }
    NotificationCenter::defaultCenter().post(kEventDetected, this);
}

std::int32_t BitmapProcessor::nbEventDetected() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::int32_t>(acquisition_.events.size());
}

std::int32_t BitmapProcessor::cumulatedParticules() const {
    std::lock_guard lock(mutex_);
    std::int32_t sum = 0;
    for (const auto& event : acquisition_.events) {
        // Wraps like the 32-bit sum it stands for, without undefined behaviour.
        sum = static_cast<std::int32_t>(static_cast<std::uint32_t>(sum) +
                                        static_cast<std::uint32_t>(event.numberOfParticules()));
    }
    return sum;
}

double BitmapProcessor::elapsed(const Acquisition& acquisition, bool running) {
    if (running) {
        return acquisition.startDate ? Clock::now().timeIntervalSince(*acquisition.startDate) : 0.0;
    }
    if (!acquisition.startDate || !acquisition.stopDate) {
        return 0.0;
    }
    return acquisition.stopDate->timeIntervalSince(*acquisition.startDate);
}

double BitmapProcessor::acquisitionDuration() const {
    std::lock_guard lock(mutex_);
    return elapsed(acquisition_, acquisitionEnCours());
}

double BitmapProcessor::instantaneousVD() const {
    std::lock_guard lock(mutex_);
    if (!acquisition_.hasEventList) {
        return 0.0;
    }
    return static_cast<double>(acquisition_.events.size()) * DoseModel::kDosePerEvent;
}

double BitmapProcessor::getVdOfRadiationHistoryRecord() const {
    return nbEventDetected() * DoseModel::kDosePerEvent;
}

double BitmapProcessor::getVmOfRadiationHistoryRecord() const {
    const double hours = acquisitionDuration() / 3600.0;
    // No acquisition time, no rate (the saved record's own figure says 0 too).
    return hours == 0.0 ? 0.0 : getVdOfRadiationHistoryRecord() / hours;
}

double BitmapProcessor::instantaneousRadiation() const {
    std::lock_guard lock(mutex_);
    const bool running = acquisitionEnCours();
    const double t = elapsed(acquisition_, running);
    const auto& events = acquisition_.events;
    const std::size_t n = events.size();
    if (n == 0) {
        // Before the first event: the rate one event would give, an upper bound.
        return t > 2.0 ? DoseModel::kOneEventPerSecond / t : 0.0;
    }
    const std::size_t first = n > 11 ? n - 11 : 0;
    const double span = t - events[first].timeStamp();
    if (!(span > 0.0)) {
        return 0.0;
    }
    if (n >= 11) {
        // Sliding window: the ten events after `first`, up to now or the stop.
        return DoseModel::kTenEventsPerSecond / span;
    }
    // Fewer than eleven events: the mean since the start. A stopped
    // acquisition is measured over its own elapsed time (stop − start), not
    // up to now, so its rate does not keep falling as the clock runs on.
    return static_cast<double>(static_cast<std::int32_t>(n) * 3600) * DoseModel::kDosePerEvent / t;
}

std::string BitmapProcessor::getUnitOfValue(double& value) {
    if (value >= 1000.0) {
        value /= 1000.0;
        return "mSv";
    }
    return "\u03BCSv";
}

std::string BitmapProcessor::getUnitOfVDValue(double& value) {
    return getUnitOfValue(value);
}

std::string BitmapProcessor::getUnitOfVMValue(double& value) {
    return getUnitOfValue(value) + "/h";
}

std::uint64_t BitmapProcessor::acquisitionNumber() const {
    std::lock_guard lock(mutex_);
    return acquisition_.number;
}

std::optional<Date> BitmapProcessor::startDate() const {
    std::lock_guard lock(mutex_);
    return acquisition_.startDate;
}

std::optional<Date> BitmapProcessor::stopDate() const {
    std::lock_guard lock(mutex_);
    return acquisition_.stopDate;
}

void BitmapProcessor::setStartDate(std::optional<Date> date) {
    std::lock_guard lock(mutex_);
    acquisition_.startDate = date;
}

void BitmapProcessor::setStopDate(std::optional<Date> date) {
    std::lock_guard lock(mutex_);
    acquisition_.stopDate = date;
}

std::optional<std::vector<RadiationEvent>> BitmapProcessor::radiationEvents() const {
    std::lock_guard lock(mutex_);
    if (!acquisition_.hasEventList) {
        return std::nullopt;
    }
    return acquisition_.events;
}

void BitmapProcessor::setRadiationEvents(std::optional<std::vector<RadiationEvent>> events) {
    std::lock_guard lock(mutex_);
    acquisition_.hasEventList = events.has_value();
    acquisition_.events = events ? std::move(*events) : std::vector<RadiationEvent>{};
}

}  // namespace kesto
