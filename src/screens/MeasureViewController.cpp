#include "screens/MeasureViewController.h"

#include <exception>
#include <utility>
#include <vector>

#include "camera/OrvVideoStreamController.h"
#include "engine/BitmapProcessor.h"
#include "history/AppUtils.h"
#include "history/RadiationHistoryMng.h"
#include "history/RadiationHistoryRecord.h"
#include "network/InternetConnection.h"
#include "platform/BackgroundThread.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/LocalizedStrings.h"
#include "platform/RunLoop.h"
#include "platform/ThreadCheck.h"
#include "screens/AppContext.h"
#include "screens/Camembert.h"
#include "screens/RegisterRadioactivityViewController.h"
#include "toolkit/AlertView.h"
#include "toolkit/Application.h"
#include "toolkit/Button.h"
#include "toolkit/Label.h"
#include "toolkit/NavigationController.h"
#include "toolkit/TabBarController.h"
#include "toolkit/location/LocationManager.h"

namespace kesto {

namespace {

constexpr int kHistoryTab = 2;
// One tenth of a degree a heartbeat: a full turn in about an hour.
constexpr double kPieStep = 0.1;
// Before the first particle, a rate is only an upper bound after this long.
constexpr double kUpperBoundAfter = 2.0;
// A camera that stopped before frames covered this long measured nothing
// worth a figure.
constexpr double kLeastWatchedTime = 2.0;

std::string text(const char* key) {
    return LocalizedStrings::localizedString(key);
}

}  // namespace

MeasureViewController::MeasureViewController()
    : ViewController("MeasureViewController"),
      lightGuard_(
          *this, *this, [this] { return isMeasuring(); },
          [this] {
              heartBeatTimer_.reset();
              RunLoop::main().cancelPreviousPerformRequests(this);  // the read-out freezes now
          }) {
    setTabBarItem({text("Tab_Measure"), Image::imageNamed("Onglet_B_icon_2.png"), 1});
}

MeasureViewController::~MeasureViewController() {
    // Waits for a report in progress; the guard then drops the rest.
    lightGuard_.stopObserving();
    RunLoop::main().cancelPreviousPerformRequests(this);
    if (vsc_) {
        vsc_->activateVideoChain(false);
        vsc_->deleteVideoChain();
    }
}

void MeasureViewController::declareBindings(Bindings& b) {
    b.outlet("lblElapsedTime", lblElapsedTime);
    b.outlet("lblVD", lblVD);
    b.outlet("lblVM", lblVM);
    b.outlet("lblMessage", lblMessage);
    b.outlet("camembert", camembert);
    b.outlet("btnStart", btnStart);
    b.outlet("btnSave", btnSave);
    b.action("toggleDetection", [this] { toggleDetection(); });
    b.action("btnSaveClicked", [this] { btnSaveClicked(); });
}

void MeasureViewController::viewDidLoad() {
    KESTO_CHECK_MAIN_THREAD();
    if (NavigationController* nav = navigationController()) {
        nav->setNavigationBarHidden(true, false);
    }
    if (camembert) {
        camembert->setFillColor(Camembert::kScreensFillColor);
    }
    if (btnSave) {
        btnSave->setTitle(text("B_Save"), ControlState::Normal);
    }
    if (lblMessage) {
        lblMessage->setText(text("B_MsgFaibleRadioactivity"));
    }
    resetView();
    lightGuard_.startObserving();
}

void MeasureViewController::toggleDetection() {
    KESTO_CHECK_MAIN_THREAD();
    if (isMeasuring()) {
        confirm("B_MesureInProgress", kTagConfirmStop);
    } else {
        startDetection();
    }
}

std::string MeasureViewController::msgAlertIsRunning() {
    return text("B_MesureInProgress");
}

void MeasureViewController::startDetection() {
    KESTO_CHECK_MAIN_THREAD();
    view();  // the read-out must exist before the first heartbeat
    BitmapProcessor& engine = BitmapProcessor::sharedInstance();
    setIsMeasuring(true);
    if (camembert) {
        camembert->setProgress(0.0F);
    }
    engine.startAcquisition();
    measuredStart_ = engine.startDate();
    measuredAcquisition_ = engine.acquisitionNumber();
    if (!vsc_) {
        vsc_ = std::make_unique<OrvVideoStreamController>();
        vsc_->setupVideoChain();
    }
    vsc_->activateVideoChain(true);
    setDuration(0.0);
    updateDisplay();
    Application::sharedApplication().setIdleTimerDisabled(true);
    heartBeatTimer_.reset();
    heartBeatTimer_ = Timer::scheduledTimer(1.0, true, [this] { heartBeat(); });
    // A fresh position for every measurement (the context stops the updates
    // itself once it has a fix).
    if (AppContext* context = AppContext::shared()) {
        context->locationManager().startUpdatingLocation();
    }
}

void MeasureViewController::stopDetection() {
    KESTO_CHECK_MAIN_THREAD();
    BitmapProcessor& engine = BitmapProcessor::sharedInstance();
    const bool measured = isMeasuring() && measuredAcquisition_ == engine.acquisitionNumber();
    if (measured && engine.acquisitionEnCours()) {
        // Only the acquisition this screen runs: a second stop must not move
        // its stop date, nor end another screen's acquisition.
        engine.stopAcquisition();
    }
    if (measured && engine.stopDate()) {
        // The last read-out covers the whole measurement, up to its stop, as
        // the saved record does: events after the previous read-out count.
        showReadOut(*engine.stopDate());
    }
    setIsMeasuring(false);
    heartBeatTimer_.reset();
    if (vsc_) {
        vsc_->activateVideoChain(false);
        vsc_->deleteVideoChain();
        vsc_.reset();
    }
    Application::sharedApplication().setIdleTimerDisabled(false);
    RunLoop::main().cancelPreviousPerformRequests(this);
    lightGuard_.detectionEnded();
}

void MeasureViewController::resetView() {
    KESTO_CHECK_MAIN_THREAD();
    setIsMeasuring(false);
    if (camembert) {
        camembert->setProgress(0.0F);
    }
    setDuration(0.0);
    setVm(0.0);
    setVd(0.0);
}

void MeasureViewController::heartBeat() {
    RunLoop::main().performAfterDelay(this, 0.0, [this] { updateDisplay(); });
}

void MeasureViewController::updateDisplay() {
    KESTO_CHECK_MAIN_THREAD();
    if (!isMeasuring()) {
        return;
    }
    if (BitmapProcessor::sharedInstance().framesStopped() || (vsc_ && vsc_->streamEnded())) {
        cameraStopped();
        return;
    }
    showReadOut(Clock::now());
}

void MeasureViewController::showReadOut(Date at) {
    const BitmapProcessor& engine = BitmapProcessor::sharedInstance();
    lastUpdatedDate_ = at;
    setDuration(engine.acquisitionDuration());
    setVm(engine.instantaneousRadiation());
    setVd(engine.instantaneousVD());
}

void MeasureViewController::cameraStopped() {
    KESTO_CHECK_MAIN_THREAD();
    BitmapProcessor& engine = BitmapProcessor::sharedInstance();
    // The time after the last frame was not watched: it does not count.
    engine.stopAcquisitionAtLastFrame();
    const bool measuredEnough = engine.acquisitionDuration() >= kLeastWatchedTime;
    stopDetection();
    if (!measuredEnough) {
        engine.resetModel();
        resetView();
    }
    AlertView::show(std::make_unique<AlertView>(
        "", text(measuredEnough ? "B_CameraStopped" : "B_CameraStoppedNothingKept"), nullptr,
        text("Ok"), std::vector<std::string>{}));
}

void MeasureViewController::setIsMeasuring(bool measuring) {
    isMeasuring_.store(measuring);
    if (btnStart) {
        btnStart->setImage(Image::imageNamed(measuring ? "B_stop.png" : "B_play.png"),
                           ControlState::Normal);
    }
}

void MeasureViewController::setDuration(double seconds) {
    duration_ = seconds;
    if (camembert) {
        // One step a call; the sum in double precision, kept in single.
        camembert->setProgress(static_cast<float>(camembert->progress() + kPieStep));
    }
    if (lblElapsedTime) {
        lblElapsedTime->setText(AppUtils::stringHoursMinuteSecond(seconds));
    }
}

void MeasureViewController::setVm(double microSievertsPerHour) {
    vm_ = microSievertsPerHour;
    double shown = microSievertsPerHour;
    const std::string unit = BitmapProcessor::getUnitOfVMValue(shown);
    const BitmapProcessor& engine = BitmapProcessor::sharedInstance();
    const char* prefix =
        engine.cumulatedParticules() == 0 && engine.acquisitionDuration() > kUpperBoundAfter ? "< "
                                                                                             : "";
    if (lblVM) {
        lblVM->setText(
            LocalizedStrings::localizedFormat("%s %s%0.2f", unit.c_str(), prefix, shown));
    }
}

void MeasureViewController::setVd(double microSieverts) {
    vd_ = microSieverts;
    double shown = microSieverts;
    const std::string unit = BitmapProcessor::getUnitOfVDValue(shown);
    if (lblVD) {
        lblVD->setText(LocalizedStrings::localizedFormat("%s %0.02f", unit.c_str(), shown));
    }
}

void MeasureViewController::matriceImageChanged(const Notification& notification) {
    lightGuard_.frameReport(notification);
}

void MeasureViewController::ignoredMaskCamera() {
    lightGuard_.lightReported();
}

void MeasureViewController::ignoredMaskCameraHandler() {
    lightGuard_.showCalibration();
}

void MeasureViewController::lightTurnsGreen() {
    KESTO_CHECK_MAIN_THREAD();
    stopDetection();
    BitmapProcessor::sharedInstance().resetModel();
    measuredStart_.reset();
    measuredAcquisition_.reset();
    resetView();
}

void MeasureViewController::clickedButtonAtIndex(AlertView& alertView, int buttonIndex) {
    KESTO_CHECK_MAIN_THREAD();
    if (buttonIndex != 0) {
        return;
    }
    if (alertView.tag() == kTagConfirmStop) {
        stopDetection();
    } else if (alertView.tag() == kTagConfirmStopAndSave) {
        stopDetection();
        saveHistory();
    }
}

void MeasureViewController::btnSaveClicked() {
    KESTO_CHECK_MAIN_THREAD();
    if (isMeasuring()) {
        confirm("B_StopAndSave", kTagConfirmStopAndSave);
    } else {
        saveHistory();
    }
}

void MeasureViewController::saveHistory() {
    KESTO_CHECK_MAIN_THREAD();
    // Only an acquisition this screen ran: the engine is shared, and the one
    // the Alert tab left behind is no measurement of this tab.
    const BitmapProcessor& engine = BitmapProcessor::sharedInstance();
    if (measuredAcquisition_ == engine.acquisitionNumber() && engine.nbEventDetected() > 0) {
        auto tagging = std::make_unique<RegisterRadioactivityViewController>();
        tagging->setDelegate(this);
        presentModalViewController(std::move(tagging), true);
    } else {
        AlertView::show(std::make_unique<AlertView>("", text("B_MsgNoRadioActivity"), nullptr,
                                                    text("Ok"), std::vector<std::string>{}));
    }
}

void MeasureViewController::registerRadioActivitiy(std::shared_ptr<RadiationHistoryRecord> record) {
    KESTO_CHECK_MAIN_THREAD();
    try {
        if (record) {
            // The time of the last read-out, when the record is the
            // acquisition this screen measured; another screen's left-over
            // acquisition keeps its own stop date.
            if (lastUpdatedDate_ && measuredStart_ &&
                BitmapProcessor::sharedInstance().acquisitionNumber() == measuredAcquisition_) {
                record->setDatesAsKept(measuredStart_, lastUpdatedDate_);
            }
            std::shared_ptr<const RadiationHistoryRecord> stored = std::move(record);
            RadiationHistoryMng::registerRadiationHistoryRecord(stored);
            if (InternetConnection::isReacheable()) {
                BackgroundThread::detachNew([stored] { registerRadioactivityToServer(stored); });
            }
        }
    } catch (const std::exception& error) {
        // Storing or dispatching failed: the screen still closes and resets.
        Console::logf("Saving the measurement failed: %s", error.what());
    }
    if (dynamic_cast<RegisterRadioactivityViewController*>(modalViewController())) {
        dismissModalViewControllerAnimated(true);
    }
    resetView();
    BitmapProcessor::sharedInstance().resetModel();
    measuredStart_.reset();
    measuredAcquisition_.reset();
    if (AppContext* context = AppContext::shared()) {
        if (TabBarController* tabs = context->tabBarController()) {
            tabs->setSelectedIndex(kHistoryTab);
        }
    }
}

void MeasureViewController::registerRadioactivityToServer(
    std::shared_ptr<const RadiationHistoryRecord> record) {
    if (record) {
        RadiationHistoryMng::sendRadiationHistoryRecordToServer(*record);
    }
}

std::size_t MeasureViewController::uploadsInFlight() {
    return BackgroundThread::running();
}

bool MeasureViewController::waitForUploads(double timeoutSeconds) {
    return BackgroundThread::waitForAll(timeoutSeconds);
}

void MeasureViewController::confirm(const char* messageKey, int tag) {
    auto alert = std::make_unique<AlertView>("", text(messageKey), this, text("Yes"),
                                             std::vector<std::string>{text("No")});
    alert->setTag(tag);
    AlertView::show(std::move(alert));
}

}  // namespace kesto
