#pragma once

#include <memory>
#include <vector>

#include "toolkit/ViewController.h"

namespace kesto {

// A stack of screens with its root at the bottom; the top one is shown.
// The navigation bar can be hidden (every screen of this application does).
//
// Threads: main thread only (checked where thread checks are built in).
class NavigationController : public ViewController {
  public:
    explicit NavigationController(std::unique_ptr<ViewController> root);

    void pushViewController(std::unique_ptr<ViewController> screen, bool animated);
    // Pops the top screen (never the root); it is destroyed after this pass.
    void popViewControllerAnimated(bool animated);
    void popToRootViewControllerAnimated(bool animated);
    ViewController* topViewController() const;
    ViewController* rootViewController() const;
    std::size_t count() const { return stack_.size(); }

    bool isNavigationBarHidden() const { return navigationBarHidden_; }
    void setNavigationBarHidden(bool hidden, bool animated);

    ViewController* visibleChild() const override { return topViewController(); }
    std::vector<ViewController*> children() const override;

  protected:
    std::unique_ptr<View> loadView() override;

  private:
    std::vector<std::unique_ptr<ViewController>> stack_;
    bool navigationBarHidden_ = false;
};

}  // namespace kesto
