#pragma once

namespace kesto {

class AlertView;

// Hears which button of an alert was tapped (0: the cancel button), on the
// main thread, after the alert has closed.
class AlertViewDelegate {
  public:
    virtual ~AlertViewDelegate() = default;
    virtual void clickedButtonAtIndex(AlertView& alertView, int buttonIndex) = 0;
};

}  // namespace kesto
