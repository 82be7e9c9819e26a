#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/Date.h"
#include "screens/DetecterDelegate.h"
#include "screens/LightGuard.h"
#include "screens/ReglageViewControllerDelegate.h"
#include "toolkit/ViewController.h"

namespace kesto {

class Button;
class Camembert;
class Label;
class OrvVideoStreamController;
class Timer;
struct Notification;

// The Alert tab: one tap runs a 30-second detection, with a pie filling up,
// a countdown and, after two seconds, the live dose rate; at the end the
// detection stops and the verdict screen is pushed. Light on the sensor
// freezes the detection under the calibration screen; OK there abandons it.
//
//   Idle        tap or verdict's detect-again → Detecting
//   Detecting   tap or tab guard "Yes" → Idle; after 30 s → Finished;
//               light → Halted; the camera stops sending frames → Idle,
//               saying so (no verdict)
//   Halted      (calibration screen up; still running for the tab guard)
//               OK → Idle
//   Finished    Idle under the verdict screen
//
// Threads: main thread, but for matriceImageChanged and ignoredMaskCamera,
// which run on the frame thread and hop to the main thread (LightGuard).
// isDetecting is atomic for them.
class AlertViewController : public ViewController,
                            public DetecterDelegate,
                            public ReglageViewControllerDelegate {
  public:
    static constexpr double kDetectionLength = 30.0;
    static constexpr double kTickInterval = 1.0 / 14.0;
    static constexpr std::int32_t kTicksPerUpdate = 14;
    // 420 ticks make a full turn.
    static constexpr double kPieStep = 6.0 / 7.0;
    // The read-out starts once the acquisition has run longer than this.
    static constexpr double kReadOutDelay = 2.0;

    AlertViewController();
    ~AlertViewController() override;

    void declareBindings(Bindings& bindings) override;
    void viewDidLoad() override;

    void btnCommandClicked();
    void onTimer();
    void finishDetectionHandler();
    void cameraStopped();
    void matriceImageChanged(const Notification& notification);
    void ignoredMaskCamera();
    void ignoredMaskCameraHandler();
    void resetView();
    void setTimerViewToInitialState();

    // DetecterDelegate
    std::string msgAlertIsRunning() override;
    bool isRunning() override { return isDetecting(); }
    // Stopping what was never started (or twice) changes nothing outside
    // this screen: the engine is stopped only for a detection this screen
    // started, so another screen's acquisition keeps its dates.
    void stopDetection() override;
    void startDetection() override;

    // ReglageViewControllerDelegate
    void lightTurnsGreen() override;

    bool isDetecting() const { return isDetecting_.load(); }
    void setIsDetecting(bool detecting) { isDetecting_.store(detecting); }
    const std::optional<Date>& startDate() const { return startDate_; }
    bool hasTimer() const { return timer_ != nullptr; }
    bool hasVideoStreamController() const { return vsc_ != nullptr; }
    std::int32_t counter() const { return counter_; }

  private:
    Button* btnCommand = nullptr;
    Camembert* detecteurCamembert = nullptr;
    Label* lblTimer = nullptr;
    Label* lblResult = nullptr;
    Label* lblCommandMsg = nullptr;

    std::atomic<bool> isDetecting_{false};
    std::optional<Date> startDate_;
    std::unique_ptr<Timer> timer_;
    std::unique_ptr<OrvVideoStreamController> vsc_;
    std::int32_t counter_ = 0;
    // Last: gone first, so no report outlives the members it uses.
    LightGuard lightGuard_;
};

}  // namespace kesto
