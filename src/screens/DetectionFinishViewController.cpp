#include "screens/DetectionFinishViewController.h"

#include <cmath>

#include "engine/BitmapProcessor.h"
#include "platform/LocalizedStrings.h"
#include "platform/ThreadCheck.h"
#include "screens/AppContext.h"
#include "screens/DetecterDelegate.h"
#include "toolkit/Button.h"
#include "toolkit/ImageView.h"
#include "toolkit/Label.h"
#include "toolkit/NavigationController.h"
#include "toolkit/TabBarController.h"

namespace kesto {

namespace {

constexpr int kMeasureTab = 1;
constexpr double kHoursPerYear = 8760.0;

// Replaces every occurrence, left to right, never rescanning what was put in.
std::string replaceAll(const std::string& text, const std::string& from, const std::string& to) {
    std::string result;
    std::size_t start = 0;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, start)) {
        result.append(text, start, at - start);
        result += to;
        start = at + from.size();
    }
    result.append(text, start, std::string::npos);
    return result;
}

}  // namespace

DetectionFinishViewController::DetectionFinishViewController()
    : ViewController("DetectionFinishViewController") {}

void DetectionFinishViewController::declareBindings(Bindings& bindings) {
    bindings.outlet("lblMsg", lblMsg);
    bindings.outlet("bgImgView", bgImgView);
    bindings.outlet("btnMeasure", btnMeasure);
    bindings.action("btnReDetectClicked", [this] { btnReDetectClicked(); });
    bindings.action("btnMeasureClicked", [this] { btnMeasureClicked(); });
}

std::string DetectionFinishViewController::radioActivityMessage(std::string text, double rate) {
    // The yearly figure is the rate over a whole year, in mSv.
    const double yearDose = rate * kHoursPerYear / 1000.0;
    const double daysToOneMilliSievert = 0.001 / (rate * 24.0 * std::pow(10.0, -6.0));
    double shown = rate;
    const std::string unit = BitmapProcessor::getUnitOfVMValue(shown);
    text =
        replaceAll(text, "#0", LocalizedStrings::localizedFormat("%0.2f %s", shown, unit.c_str()));
    text = replaceAll(text, "#1", LocalizedStrings::localizedFormat("%0.2f", yearDose));
    return replaceAll(text, "#2",
                      LocalizedStrings::localizedFormat("%0.2f", daysToOneMilliSievert));
}

void DetectionFinishViewController::viewDidLoad() {
    auto& engine = BitmapProcessor::sharedInstance();
    if (engine.nbEventDetected() >= 1) {
        bgImgView->setImage(Image::imageNamed("A03.png"));
        lblMsg->setText(
            radioActivityMessage(LocalizedStrings::localizedString("A_RadioActivityDetected"),
                                 engine.instantaneousRadiation()));
    } else {
        bgImgView->setImage(Image::imageNamed("A02.png"));
        lblMsg->setText(LocalizedStrings::localizedString("A_NoRadioActivityDetected"));
    }
    btnMeasure->setTitle(LocalizedStrings::localizedString("A_Measure"), ControlState::Normal);
}

void DetectionFinishViewController::btnReDetectClicked() {
    KESTO_CHECK_MAIN_THREAD();
    // Read before the pop: this screen goes at the end of the pass.
    AppContext* context = AppContext::shared();
    if (NavigationController* nav = navigationController()) {
        nav->popViewControllerAnimated(true);
    }
    if (context && context->alertViewController()) {
        context->alertViewController()->startDetection();
    }
}

void DetectionFinishViewController::btnMeasureClicked() {
    KESTO_CHECK_MAIN_THREAD();
    AppContext* context = AppContext::shared();
    if (!context) {
        return;
    }
    // A selection by the program: the tab guard is not asked.
    if (TabBarController* tabs = context->tabBarController()) {
        tabs->setSelectedIndex(kMeasureTab);
    }
    if (DetecterDelegate* measure = context->measureViewController()) {
        measure->startDetection();
    }
}

}  // namespace kesto
