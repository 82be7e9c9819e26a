#pragma once

#include <string>

namespace kesto {

// A screen that runs a detection (the alert and measure screens): what the
// tab guard asks before the person leaves the tab, and what the verdict
// screen uses to start a detection on either screen.
//
// Threads: main thread.
class DetecterDelegate {
  public:
    // The question of the leave-tab confirmation for this screen.
    virtual std::string msgAlertIsRunning() = 0;
    virtual bool isRunning() = 0;
    virtual void stopDetection() = 0;
    virtual void startDetection() = 0;

  protected:
    ~DetecterDelegate() = default;
};

}  // namespace kesto
