#pragma once

#include <string>

#include "toolkit/ViewController.h"

namespace kesto {

class Button;
class ImageView;
class Label;

// The verdict of a 30-second alert detection, pushed onto the alert tab when
// the detection ends. Everything it shows is computed once, when its view is
// built, from the engine's stopped acquisition: radioactivity counts as
// detected when that acquisition holds at least one event. Its buttons run
// the alert detection again (popping this screen) or switch to the Measure
// tab and start a measurement there (this screen stays on the alert tab).
//
// Threads: main thread only, like every screen.
class DetectionFinishViewController : public ViewController {
  public:
    DetectionFinishViewController();

    void declareBindings(Bindings& bindings) override;
    void viewDidLoad() override;

    void btnReDetectClicked();
    void btnMeasureClicked();

    // The detected verdict: `text` with every "#0" replaced by the rate and
    // its unit, then every "#1" by the dose a whole year at that rate gives
    // (mSv), then every "#2" by the days the rate takes to give 1 mSv.
    // `rate` is in μSv/h, before any rescaling.
    static std::string radioActivityMessage(std::string text, double rate);

  private:
    Label* lblMsg = nullptr;
    ImageView* bgImgView = nullptr;
    Button* btnMeasure = nullptr;
};

}  // namespace kesto
