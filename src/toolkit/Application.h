#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "toolkit/AlertView.h"
#include "toolkit/ApplicationDelegate.h"
#include "toolkit/ClassRegistry.h"
#include "toolkit/Window.h"

namespace kesto {

// The one application: its delegate, its window, the alerts on screen and
// the display's idle-sleep switch. launch() reads the main interface
// (layouts/MainWindow.json: {"delegateClass": NAME, "window": {"frame":
// [x, y, w, h]}}), builds the delegate of that class and the window, and
// calls didFinishLaunchingWithOptions; applicationMain() then runs the main
// run loop until terminate() (or SIGINT/SIGTERM/SIGHUP).
//
// Threads: main thread only (checked where thread checks are built in).
class Application {
  public:
    using DelegateClasses = ClassRegistry<ApplicationDelegate>;

    static Application& sharedApplication();

    // The process entry's whole job: launch, run the main loop, return the
    // exit status (1 when the launch failed).
    static int applicationMain(int argc, char** argv);

    bool launch(std::string_view mainInterface = "MainWindow");
    void terminate();
    // Drops the delegate, window and alerts (tests start afresh with it).
    void reset();

    ApplicationDelegate* delegate() const { return delegate_.get(); }
    void setDelegate(std::unique_ptr<ApplicationDelegate> delegate);
    Window* window() const { return window_.get(); }
    void setWindow(std::unique_ptr<Window> window);

    bool isIdleTimerDisabled() const { return idleTimerDisabled_; }
    void setIdleTimerDisabled(bool disabled) { idleTimerDisabled_ = disabled; }

    // Alerts: the last shown is on top and takes the taps.
    void showAlert(std::unique_ptr<AlertView> alert);
    AlertView* visibleAlert() const;
    // The person taps button `index` of the top alert: it closes, then its
    // delegate hears the index. False when no alert or no such button.
    bool answerAlert(int index);

  private:
    std::unique_ptr<ApplicationDelegate> delegate_;
    std::unique_ptr<Window> window_;
    std::vector<std::unique_ptr<AlertView>> alerts_;
    bool idleTimerDisabled_ = false;
};

}  // namespace kesto
