#pragma once

namespace kesto {

class Application;
class Window;

// The application's delegate: the one object the main interface names
// (registered by class name in Application::DelegateClasses). It is told
// when the application has launched and before it ends.
//
// Threads: main thread.
class ApplicationDelegate {
  public:
    virtual ~ApplicationDelegate() = default;

    // Start-up; false stops the application.
    virtual bool didFinishLaunchingWithOptions(Application& application) = 0;
    virtual void applicationWillTerminate(Application& application);

    // The window the main interface made (owned by the application).
    Window* window() const { return window_; }
    void setWindow(Window* window) { window_ = window; }

  private:
    Window* window_ = nullptr;
};

}  // namespace kesto
