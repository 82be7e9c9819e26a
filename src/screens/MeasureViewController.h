#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/BitmapProcessorDelegate.h"
#include "platform/Date.h"
#include "platform/HopTarget.h"
#include "platform/Timer.h"
#include "screens/DetecterDelegate.h"
#include "screens/RegisterRadioActivityViewControllerDelegate.h"
#include "screens/ReglageViewControllerDelegate.h"
#include "toolkit/AlertViewDelegate.h"
#include "toolkit/ViewController.h"

namespace kesto {

class Button;
class Camembert;
class Label;
class OrvVideoStreamController;
class RadiationHistoryRecord;
struct Notification;

// The Measure tab: an open-ended measurement with a read-out refreshed once
// a second (elapsed time, dose rate, dose) and once more at the stop, and a
// pie that fills one turn an hour. Light on the sensor interrupts it with the
// calibration screen. A camera that stops sending frames ends it at its last
// frame, saying so (and keeps nothing when frames covered under 2 s). Save
// stops it (after asking), asks for a tag, stores the record, sends it when
// the network can be reached, and brings up the History tab.
//
// Uploads run on threads of their own (BackgroundThread), each holding its
// record by value; a front end that ends the process waits for those still
// running with waitForUploads.
//
// Threads: main thread, except matriceImageChanged and ignoredMaskCamera,
// which run on the frame thread (they read isMeasuring and hop), and the
// upload, on its own thread.
class MeasureViewController : public ViewController,
                              public DetecterDelegate,
                              public BitmapProcessorDelegate,
                              public ReglageViewControllerDelegate,
                              public RegisterRadioActivityViewControllerDelegate,
                              public AlertViewDelegate {
  public:
    static constexpr int kTagConfirmStop = 1;
    static constexpr int kTagConfirmStopAndSave = 2;

    MeasureViewController();
    // Stops observing first, then releases its capture controller.
    ~MeasureViewController() override;

    void declareBindings(Bindings& bindings) override;
    void viewDidLoad() override;

    // Start/stop button: start, or ask before stopping.
    void toggleDetection();
    // DetecterDelegate.
    std::string msgAlertIsRunning() override;
    bool isRunning() override { return isMeasuring(); }
    void startDetection() override;
    // Safe at any time; the read-out keeps its last values.
    void stopDetection() override;
    // Idle look with a zeroed read-out.
    void resetView();

    // The one-second heartbeat: asks for updateDisplay at the next pass.
    void heartBeat();
    void updateDisplay();
    // No frame for a while, or the source has no more: the measurement ends
    // at its last frame.
    void cameraStopped();

    // Setters that also display.
    bool isMeasuring() const { return isMeasuring_.load(); }
    void setIsMeasuring(bool measuring);
    double duration() const { return duration_; }
    void setDuration(double seconds);
    double vm() const { return vm_; }
    void setVm(double microSievertsPerHour);
    double vd() const { return vd_; }
    void setVd(double microSieverts);
    const std::optional<Date>& lastUpdatedDate() const { return lastUpdatedDate_; }

    // Mask check, frame thread: light (level above limit) while measuring.
    void matriceImageChanged(const Notification& notification);
    void ignoredMaskCamera() override;
    // Main thread: pauses the read-out and puts up the calibration screen,
    // unless one is up already or the measurement has ended meanwhile.
    void ignoredMaskCameraHandler();
    void lightTurnsGreen() override;

    void clickedButtonAtIndex(AlertView& alertView, int buttonIndex) override;

    // Saving.
    void btnSaveClicked();
    void saveHistory();
    void registerRadioActivitiy(std::shared_ptr<RadiationHistoryRecord> record) override;
    // Upload thread: sends one record; touches nothing but the record.
    static void registerRadioactivityToServer(std::shared_ptr<const RadiationHistoryRecord> record);
    // Uploads (background jobs) still running, and a wait for them to end
    // (real time); false when some still run after `timeoutSeconds`. Any thread.
    static std::size_t uploadsInFlight();
    static bool waitForUploads(double timeoutSeconds);

    OrvVideoStreamController* vsc() const { return vsc_.get(); }
    Timer* heartBeatTimer() const { return heartBeatTimer_.get(); }

    Label* lblElapsedTime = nullptr;
    Label* lblVD = nullptr;
    Label* lblVM = nullptr;
    Label* lblMessage = nullptr;
    Camembert* camembert = nullptr;
    Button* btnStart = nullptr;
    Button* btnSave = nullptr;

  private:
    void confirm(const char* messageKey, int tag);
    // The engine's figures, as of `at`.
    void showReadOut(Date at);

    std::unique_ptr<OrvVideoStreamController> vsc_;
    std::atomic<bool> isMeasuring_{false};  // written on the main thread, read on the frame one
    // Counts starts, so that a light report of an ended measurement, still
    // queued, cannot interrupt the next one.
    std::atomic<std::uint64_t> measurement_{0};
    std::unique_ptr<Timer> heartBeatTimer_;
    std::optional<Date> lastUpdatedDate_;
    // The start date of the engine's acquisition that this screen ran: only
    // its records take lastUpdatedDate as their stop date.
    std::optional<Date> measuredStart_;
    double duration_ = 0.0;
    double vm_ = 0.0;
    double vd_ = 0.0;
    HopTarget hopTarget_;
};

}  // namespace kesto
