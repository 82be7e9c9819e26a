#pragma once

#include <atomic>

#include "platform/HopTarget.h"
#include "screens/ReglageViewControllerDelegate.h"
#include "toolkit/ViewController.h"

namespace kesto {

class Button;
class ImageView;
class Label;
struct Notification;

// The calibration screen: put up modally by a detecting screen that saw
// light reach the sensor. It asks the person to cover the lens, shows after
// every analysed frame whether the lens is masked, lets OK be tapped only
// while it is, and on OK closes itself and tells its delegate.
//
// It starts and stops nothing; the presenter's acquisition keeps running and
// its frame reports ("MatriceImageChanged") drive the verdict.
//
// Threads: main thread, except matriceImageChanged and ignoredMaskCamera,
// which run on the frame thread (they only store the verdict and hop).
class ReglageViewController : public ViewController {
  public:
    ReglageViewController();
    // Stops observing first, so no report reaches a screen being destroyed.
    ~ReglageViewController() override;

    void declareBindings(Bindings& bindings) override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;

    // Frame thread: stores the verdict of one report, then ignoredMaskCamera.
    void matriceImageChanged(const Notification& notification);
    // Shows the verdict on the main thread: directly there, else queued.
    void ignoredMaskCamera();
    // Main thread: shows the latest verdict, whichever report queued it.
    void ignoredMaskCameraHandler();
    // OK: the dismissal first, then lightTurnsGreen.
    void btnOkClicked();

    bool isOk() const { return isOk_.load(); }
    ReglageViewControllerDelegate* delegate() const { return delegate_; }
    void setDelegate(ReglageViewControllerDelegate* delegate) { delegate_ = delegate; }

    ImageView* statusImgView = nullptr;
    Button* okBtn = nullptr;
    Label* lblMsg1 = nullptr;
    Label* lblMsg2 = nullptr;
    Label* lblMsg3 = nullptr;

  private:
    void showStatusImage(const char* name);

    std::atomic<bool> isOk_{false};  // written on the frame thread, read on the main one
    ReglageViewControllerDelegate* delegate_ = nullptr;
    // Verdicts queued for this screen die with it (or with its dismissal).
    HopTarget hopTarget_;
};

}  // namespace kesto
