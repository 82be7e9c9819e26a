#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/HopTarget.h"

namespace kesto {

class ReglageViewControllerDelegate;
class ViewController;
struct Notification;

// The light rule both detecting screens share: while the screen's detection
// runs, a frame whose average level is above the limit halts it (the
// screen's timer stops) under one calibration screen, whose OK goes to the
// screen's lightTurnsGreen. A detection that ends takes its calibration
// screen with it: with no acquisition no frame would ever enable its OK,
// and the screen would cover every tab for good. Reports of a detection
// that has ended, still on their way to the main thread, put up nothing.
//
// The screens keep their own operations (matriceImageChanged,
// ignoredMaskCamera, ignoredMaskCameraHandler) and forward them here.
//
// Threads: construction, startObserving, stopObserving, detectionEnded,
// showCalibration and destruction on the main thread; frameReport and
// lightReported on any thread (the frame thread) while observing.
class LightGuard {
  public:
    // `screen` presents the calibration screen and `delegate` hears its OK;
    // `running` tells (from any thread) whether the detection runs; `halt`
    // stops the detection's timer when light comes.
    LightGuard(ViewController& screen, ReglageViewControllerDelegate& delegate,
               std::function<bool()> running, std::function<void()> halt);
    ~LightGuard();
    LightGuard(const LightGuard&) = delete;
    LightGuard& operator=(const LightGuard&) = delete;

    void startObserving();
    // Waits for a report in progress on the frame thread; none comes after.
    void stopObserving();

    // One frame report: light while running → lightReported.
    void frameReport(const Notification& notification);
    // Shows the calibration screen on the main thread: there at once, from
    // another thread at the next pass, unless the detection ended meanwhile.
    void lightReported();
    // Halts the detection under a calibration screen, unless it no longer
    // runs or one is up already.
    void showCalibration();
    // The detection ended (stopped, abandoned, finished): reports still
    // queued are dropped, and a calibration screen still up goes.
    void detectionEnded();

  private:
    ViewController& screen_;
    ReglageViewControllerDelegate& delegate_;
    std::function<bool()> running_;
    std::function<void()> halt_;
    bool observing_ = false;
    // Grows at each end of a detection: a queued report of an earlier one
    // finds it changed and is dropped.
    std::atomic<std::uint64_t> detection_{0};
    HopTarget hops_;  // last: revoked first when this goes
};

}  // namespace kesto
