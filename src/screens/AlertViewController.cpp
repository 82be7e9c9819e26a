#include "screens/AlertViewController.h"

#include <cmath>

#include "camera/OrvVideoStreamController.h"
#include "engine/BitmapProcessor.h"
#include "platform/Clock.h"
#include "platform/Format.h"
#include "platform/LocalizedStrings.h"
#include "platform/NotificationCenter.h"
#include "platform/ThreadCheck.h"
#include "platform/Timer.h"
#include "screens/Camembert.h"
#include "screens/DetectionFinishViewController.h"
#include "screens/MaskReport.h"
#include "screens/ReglageViewController.h"
#include "toolkit/AlertView.h"
#include "toolkit/Button.h"
#include "toolkit/Label.h"
#include "toolkit/NavigationController.h"

namespace kesto {

AlertViewController::AlertViewController() : ViewController("AlertViewController") {
    setTabBarItem(TabBarItem{LocalizedStrings::localizedString("Tab_Alert"),
                             Image::imageNamed("Onglet_A_icon_2.png"), 1});
}

AlertViewController::~AlertViewController() {
    // Waits for a report in progress on the frame thread; none comes after.
    if (observing_) {
        NotificationCenter::defaultCenter().removeObserver(this);
    }
    // The capture chain goes with the screen, delivering nothing more.
    if (vsc_) {
        vsc_->activateVideoChain(false);
        vsc_->deleteVideoChain();
    }
}

void AlertViewController::declareBindings(Bindings& bindings) {
    bindings.outlet("btnCommand", btnCommand);
    bindings.outlet("detecteurCamembert", detecteurCamembert);
    bindings.outlet("lblTimer", lblTimer);
    bindings.outlet("lblResult", lblResult);
    bindings.outlet("lblCommandMsg", lblCommandMsg);
    bindings.action("btnCommandClicked", [this] { btnCommandClicked(); });
}

void AlertViewController::viewDidLoad() {
    if (NavigationController* nav = navigationController()) {
        nav->setNavigationBarHidden(true, false);
    }
    resetView();
    setIsDetecting(false);
    lblCommandMsg->setText(LocalizedStrings::localizedString("A_TapToLaunch"));
    detecteurCamembert->setFillColor(Camembert::kScreensFillColor);
    NotificationCenter::defaultCenter().addObserver(
        this, BitmapProcessor::kMatriceImageChanged,
        [this](const Notification& notification) { matriceImageChanged(notification); });
    observing_ = true;
}

void AlertViewController::resetView() {
    lblResult->setText("");
    setTimerViewToInitialState();
}

void AlertViewController::setTimerViewToInitialState() {
    lblTimer->setText(cformat("%d s", static_cast<int>(kDetectionLength)));
}

void AlertViewController::btnCommandClicked() {
    KESTO_CHECK_MAIN_THREAD();
    setIsDetecting(!isDetecting());
    if (isDetecting()) {
        startDetection();
    } else {
        stopDetection();
    }
}

void AlertViewController::startDetection() {
    KESTO_CHECK_MAIN_THREAD();
    view();  // the labels and the pie are needed from here on
    if (loadFailed() || startDate_) {
        // Nothing to show it on, or already running (or halted).
        return;
    }
    if (!vsc_) {
        vsc_ = std::make_unique<OrvVideoStreamController>();
        vsc_->setupVideoChain();
    }
    vsc_->activateVideoChain(true);
    BitmapProcessor::sharedInstance().startAcquisition();
    setIsDetecting(true);
    startDate_ = Clock::now();
    timer_ = Timer::scheduledTimer(kTickInterval, true, [this] { onTimer(); });
    if (lblCommandMsg) {
        lblCommandMsg->setText(LocalizedStrings::localizedString("A_DetectionInProgress"));
    }
}

void AlertViewController::stopDetection() {
    KESTO_CHECK_MAIN_THREAD();
    if (startDate_ && BitmapProcessor::sharedInstance().acquisitionEnCours()) {
        BitmapProcessor::sharedInstance().stopAcquisition();
    }
    if (vsc_) {
        vsc_->activateVideoChain(false);
        vsc_->deleteVideoChain();
        vsc_.reset();
    }
    setIsDetecting(false);
    startDate_.reset();
    if (timer_) {
        timer_->invalidate();
        timer_.reset();
    }
    if (!isViewLoaded() || loadFailed()) {
        return;
    }
    detecteurCamembert->setProgress(0.0F);
    setTimerViewToInitialState();
    lblResult->setText("");
    lblCommandMsg->setText(LocalizedStrings::localizedString("A_TapToLaunch"));
}

void AlertViewController::onTimer() {
    KESTO_CHECK_MAIN_THREAD();
    ++counter_;
    const double elapsed = startDate_ ? Clock::now().timeIntervalSince(*startDate_) : std::nan("");
    if (BitmapProcessor::sharedInstance().framesStopped() || (vsc_ && vsc_->streamEnded())) {
        cameraStopped();
        return;
    }
    if (elapsed > kDetectionLength) {
        detecteurCamembert->setProgress(360.0F);
        finishDetectionHandler();
        return;
    }
    if (counter_ >= kTicksPerUpdate) {
        lblTimer->setText(cformat("%d s", static_cast<int>(kDetectionLength - elapsed)));
        auto& engine = BitmapProcessor::sharedInstance();
        if (engine.acquisitionDuration() > kReadOutDelay) {
            double rate = engine.instantaneousRadiation();
            const std::string unit = BitmapProcessor::getUnitOfVMValue(rate);
            const char* prefix = engine.cumulatedParticules() == 0 ? "< " : "";
            lblResult->setText(cformat("%s%0.2f %s", prefix, rate, unit.c_str()));
        }
        counter_ = 0;
    }
    detecteurCamembert->setProgress(
        static_cast<float>(static_cast<double>(detecteurCamembert->progress()) + kPieStep));
}

void AlertViewController::finishDetectionHandler() {
    KESTO_CHECK_MAIN_THREAD();
    setIsDetecting(false);
    stopDetection();
    if (NavigationController* nav = navigationController()) {
        nav->pushViewController(std::make_unique<DetectionFinishViewController>(), true);
    }
}

void AlertViewController::cameraStopped() {
    KESTO_CHECK_MAIN_THREAD();
    // Without frames to the end there is no verdict: a quiet half-minute
    // that nobody watched is no all-clear.
    BitmapProcessor::sharedInstance().stopAcquisitionAtLastFrame();
    stopDetection();
    AlertView::show(std::make_unique<AlertView>(
        "", LocalizedStrings::localizedString("A_CameraStopped"), nullptr,
        LocalizedStrings::localizedString("Ok"), std::vector<std::string>{}));
}

void AlertViewController::matriceImageChanged(const Notification& notification) {
    if (!isDetecting()) {
        return;
    }
    const auto report = MaskReport::from(notification);
    if (report && report->lightReaches()) {
        ignoredMaskCamera();
    }
}

void AlertViewController::ignoredMaskCamera() {
    if (!isDetecting()) {
        return;
    }
    if (RunLoop::isMainThread()) {
        ignoredMaskCameraHandler();
    } else {
        hops_.hop([this] { ignoredMaskCameraHandler(); });
    }
}

void AlertViewController::ignoredMaskCameraHandler() {
    KESTO_CHECK_MAIN_THREAD();
    // Reports queued before the detection ended, or while the calibration
    // screen is already up, put up nothing: one calibration screen at most.
    if (!isDetecting() || modalViewController()) {
        return;
    }
    if (timer_) {
        timer_->invalidate();
        timer_.reset();
    }
    auto calibration = std::make_unique<ReglageViewController>();
    calibration->setDelegate(this);
    presentModalViewController(std::move(calibration), true);
}

void AlertViewController::lightTurnsGreen() {
    KESTO_CHECK_MAIN_THREAD();
    stopDetection();
}

std::string AlertViewController::msgAlertIsRunning() {
    return LocalizedStrings::localizedString("A_AlertDetectionInProgress");
}

}  // namespace kesto
