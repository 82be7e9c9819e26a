#pragma once

#include <memory>
#include <vector>

#include "toolkit/TabBarControllerDelegate.h"
#include "toolkit/ViewController.h"

namespace kesto {

// The tab bar along the bottom of the window (49 points), showing one of
// its screens above it. setSelectedIndex / setSelectedViewController are the
// program's selections and ask nobody; tapTab is the person's tap and asks
// the delegate first. Tapping the tab already selected takes its navigation
// stack back to its root, as the phone does.
//
// Threads: main thread only (checked where thread checks are built in).
class TabBarController : public ViewController {
  public:
    static constexpr double kTabBarHeight = 49.0;

    TabBarController();

    TabBarControllerDelegate* delegate() const { return delegate_; }
    void setDelegate(TabBarControllerDelegate* delegate) { delegate_ = delegate; }

    void setViewControllers(std::vector<std::unique_ptr<ViewController>> screens);
    std::vector<ViewController*> viewControllers() const { return children(); }
    std::size_t count() const { return screens_.size(); }

    int selectedIndex() const { return selectedIndex_; }
    ViewController* selectedViewController() const;
    // Out-of-range indexes and screens that are not tabs are ignored (logged).
    void setSelectedIndex(int index);
    void setSelectedViewController(ViewController* screen);

    // The person taps tab `index`: false when refused (by the delegate or
    // because there is no such tab).
    bool tapTab(int index);

    ViewController* visibleChild() const override { return selectedViewController(); }
    std::vector<ViewController*> children() const override;

  protected:
    std::unique_ptr<View> loadView() override;

  private:
    void select(int index);

    std::vector<std::unique_ptr<ViewController>> screens_;
    int selectedIndex_ = -1;
    TabBarControllerDelegate* delegate_ = nullptr;
};

}  // namespace kesto
