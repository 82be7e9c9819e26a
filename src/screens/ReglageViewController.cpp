#include "screens/ReglageViewController.h"

#include "engine/BitmapProcessor.h"
#include "engine/LightReport.h"
#include "platform/DeviceUtil.h"
#include "platform/LocalizedStrings.h"
#include "platform/NotificationCenter.h"
#include "platform/ThreadCheck.h"
#include "toolkit/Button.h"
#include "toolkit/ImageView.h"
#include "toolkit/Label.h"

namespace kesto {

ReglageViewController::ReglageViewController() : ViewController("ReglageViewController") {}

ReglageViewController::~ReglageViewController() {
    // Waits for a report in progress on the frame thread; the hop target,
    // destroyed after this, then drops what such reports queued.
    NotificationCenter::defaultCenter().removeObserver(this);
}

void ReglageViewController::declareBindings(Bindings& b) {
    b.outlet("statusImgView", statusImgView);
    b.outlet("okBtn", okBtn);
    b.outlet("lblMsg1", lblMsg1);
    b.outlet("lblMsg2", lblMsg2);
    b.outlet("lblMsg3", lblMsg3);
    b.action("btnOkClicked", [this] { btnOkClicked(); });
}

void ReglageViewController::viewDidLoad() {
    KESTO_CHECK_MAIN_THREAD();
    showStatusImage("btn_stop.png");
    NotificationCenter::defaultCenter().addObserver(
        this, BitmapProcessor::kMatriceImageChanged,
        [this](const Notification& notification) { matriceImageChanged(notification); });
}

void ReglageViewController::viewWillDisappear(bool animated) {
    ViewController::viewWillDisappear(animated);
    // This screen only disappears when it closes: verdicts still queued
    // must not run on a dismissed screen.
    hopTarget_.revoke();
}

void ReglageViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    if (lblMsg1) {
        lblMsg1->setText(LocalizedStrings::localizedString(
            DeviceUtil::isIPhone4() ? "C_Msg1_iPhone4" : "C_Msg1_notIPhone4"));
    }
    if (lblMsg2) {
        lblMsg2->setText(LocalizedStrings::localizedString("C_Msg2"));
    }
    if (lblMsg3) {
        lblMsg3->setText(LocalizedStrings::localizedString("C_Msg3"));
    }
    if (okBtn) {
        okBtn->setTitle(LocalizedStrings::localizedString("Ok"), ControlState::Normal);
    }
}

void ReglageViewController::matriceImageChanged(const Notification& notification) {
    const auto report = LightReport::from(notification);
    if (!report) {
        return;  // a malformed report changes nothing
    }
    isOk_.store(!report->lightReaches());
    ignoredMaskCamera();
}

void ReglageViewController::ignoredMaskCamera() {
    if (RunLoop::isMainThread()) {
        ignoredMaskCameraHandler();
        return;
    }
    // One run per report; each shows the verdict current when it runs.
    hopTarget_.hop([this] { ignoredMaskCameraHandler(); });
}

void ReglageViewController::ignoredMaskCameraHandler() {
    KESTO_CHECK_MAIN_THREAD();
    const bool masked = isOk_.load();
    showStatusImage(masked ? "btn_start.png" : "btn_stop.png");
    if (okBtn) {
        okBtn->setEnabled(masked);
    }
}

void ReglageViewController::btnOkClicked() {
    KESTO_CHECK_MAIN_THREAD();
    hopTarget_.revoke();  // also when shown on its own, without a presenter
    if (ViewController* presenter = parentViewController()) {
        presenter->dismissModalViewControllerAnimated(true);
    }
    if (delegate_) {
        delegate_->lightTurnsGreen();
    }
}

void ReglageViewController::showStatusImage(const char* name) {
    if (statusImgView) {
        statusImgView->setImage(Image::imageNamed(name));
    }
}

}  // namespace kesto
