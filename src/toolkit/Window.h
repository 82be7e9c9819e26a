#pragma once

#include "toolkit/Geometry.h"
#include "toolkit/ViewController.h"

namespace kesto {

// The one window, the size of the phone's screen. It shows its root screen
// (the tab bar) once made visible; the root is owned by the application
// delegate, not by the window.
//
// Threads: main thread only.
class Window {
  public:
    explicit Window(Rect frame = Rect::make(0, 0, 320, 480)) : frame_(frame) {}

    Rect frame() const { return frame_; }
    ViewController* rootViewController() const { return root_; }
    void setRootViewController(ViewController* root);
    void makeKeyAndVisible();
    bool isVisible() const { return visible_; }

  private:
    Rect frame_;
    ViewController* root_ = nullptr;
    bool visible_ = false;
};

}  // namespace kesto
