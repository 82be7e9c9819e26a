#include "camera/internal/PacedCaptureSession.h"

#include <chrono>
#include <cmath>

#include "platform/Clock.h"
#include "platform/RunLoop.h"

namespace kesto {
namespace {

constexpr double kDefaultFramesPerSecond = 10.0;

}  // namespace

PacedCaptureSession::PacedCaptureSession(std::shared_ptr<FrameSource> source)
    : source_(std::move(source)) {}

PacedCaptureSession::~PacedCaptureSession() {
    shutDown();
    stopStepping();
}

void PacedCaptureSession::stopStepping() {
    if (stepper_) {
        stepper_.reset();
        RunLoop::main().cancelPreviousPerformRequests(this);
    }
}

double PacedCaptureSession::period() const {
    const double d = minFrameDuration();
    return d > 0.0 ? d : 1.0 / kDefaultFramesPerSecond;
}

void PacedCaptureSession::start() {
    dispatch([this] {
        sourceEnded_ = false;
        source_->sessionStarted();
    });
    startDate_ = Clock::now();
    framesDue_ = 0;
    if (Clock::isManual()) {
        stopStepping();
        RunLoop::main().performAfterDelay(this, 0.0, [this] { deliverDueFrames(); });
        stepper_ = Timer::scheduledTimer(period(), true, [this] { deliverDueFrames(); });
        return;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    pacer_ = std::thread([this] { pace(); });
}

void PacedCaptureSession::stop() {
    // The stepping timer belongs to the main loop. Stopped from elsewhere (the
    // delivery queue), it stays until the next start or the destructor and
    // delivers nothing meanwhile: deliverDueFrames needs a running session.
    if (RunLoop::isMainThread()) {
        stopStepping();
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (pacer_.joinable()) {
        pacer_.join();
    }
}

void PacedCaptureSession::pace() {
    // Real-time pacing only: the wait itself, not "now", so a steady clock.
    using namespace std::chrono;
    const auto origin = steady_clock::now();
    const auto step = duration_cast<steady_clock::duration>(duration<double>(period()));
    std::uint64_t tick = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (wake_.wait_until(lock, origin + step * static_cast<std::int64_t>(tick),
                             [this] { return stopping_; })) {
            return;
        }
        if (!inFlight_.exchange(true)) {
            dispatch([this] { produceFrame(); });
        }
        // Ticks missed while the machine was busy are skipped, not made up.
        const auto late = (steady_clock::now() - origin) / step;
        tick = std::max<std::uint64_t>(tick + 1, static_cast<std::uint64_t>(late) + 1);
    }
}

std::size_t PacedCaptureSession::deliverDueFrames() {
    if (!isRunning() || !Clock::isManual() || queue() == nullptr) {
        return 0;
    }
    const double elapsed = Clock::now().timeIntervalSince(startDate_);
    if (!(elapsed >= 0.0)) {
        return 0;
    }
    // Frame k is due at start + k × period; frame 0 at the start itself. The
    // slack absorbs the rounding of a clock stepped in tenths of a second.
    const auto due = static_cast<std::uint64_t>(std::floor(elapsed / period() + 1e-4)) + 1;
    std::size_t delivered = 0;
    for (; framesDue_ < due; ++framesDue_) {
        inFlight_.store(true);
        queue()->sync([this] { produceFrame(); });
        ++delivered;
    }
    return delivered;
}

void PacedCaptureSession::produceFrame() {
    if (isRunning() && !sourceEnded_) {
        if (auto frame = source_->nextFrame(buffer_)) {
            deliver(*frame);
        } else if (!source_->isSilent()) {
            sourceEnded_ = true;
            endOfStream("no more frames from the source");
        }
    }
    inFlight_.store(false);
}

}  // namespace kesto
