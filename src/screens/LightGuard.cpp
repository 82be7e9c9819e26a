#include "screens/LightGuard.h"

#include <memory>
#include <utility>

#include "engine/BitmapProcessor.h"
#include "engine/LightReport.h"
#include "platform/NotificationCenter.h"
#include "platform/ThreadCheck.h"
#include "screens/ReglageViewController.h"

namespace kesto {

LightGuard::LightGuard(ViewController& screen, ReglageViewControllerDelegate& delegate,
                       std::function<bool()> running, std::function<void()> halt)
    : screen_(screen), delegate_(delegate), running_(std::move(running)), halt_(std::move(halt)) {}

LightGuard::~LightGuard() {
    stopObserving();
}

void LightGuard::startObserving() {
    KESTO_CHECK_MAIN_THREAD();
    if (observing_) {
        return;
    }
    NotificationCenter::defaultCenter().addObserver(
        this, BitmapProcessor::kMatriceImageChanged,
        [this](const Notification& notification) { frameReport(notification); });
    observing_ = true;
}

void LightGuard::stopObserving() {
    if (observing_) {
        NotificationCenter::defaultCenter().removeObserver(this);
        observing_ = false;
    }
}

void LightGuard::frameReport(const Notification& notification) {
    if (!running_()) {
        return;
    }
    const auto report = LightReport::from(notification);
    if (report && report->lightReaches()) {
        lightReported();
    }
}

void LightGuard::lightReported() {
    // Read before the running flag: an end in between changes it, and the
    // hop below is then dropped.
    const std::uint64_t detection = detection_.load();
    if (!running_()) {
        return;
    }
    if (RunLoop::isMainThread()) {
        showCalibration();
        return;
    }
    hops_.hop([this, detection] {
        if (detection == detection_.load()) {
            showCalibration();
        }
    });
}

void LightGuard::showCalibration() {
    KESTO_CHECK_MAIN_THREAD();
    if (!running_() || screen_.modalViewController()) {
        return;
    }
    halt_();
    auto calibration = std::make_unique<ReglageViewController>();
    calibration->setDelegate(&delegate_);
    screen_.presentModalViewController(std::move(calibration), true);
}

void LightGuard::detectionEnded() {
    KESTO_CHECK_MAIN_THREAD();
    detection_.fetch_add(1);
    if (dynamic_cast<ReglageViewController*>(screen_.modalViewController())) {
        screen_.dismissModalViewControllerAnimated(true);
    }
}

}  // namespace kesto
