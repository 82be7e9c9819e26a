#pragma once

namespace kesto {

class TabBarController;
class ViewController;

// Asked by the tab bar before a selection the person makes by tapping a
// tab, never before one the program makes.
//
// Threads: main thread.
class TabBarControllerDelegate {
  public:
    virtual ~TabBarControllerDelegate() = default;
    virtual bool shouldSelectViewController(TabBarController& tabBarController,
                                            ViewController& viewController);
    virtual void didSelectViewController(TabBarController& tabBarController,
                                         ViewController& viewController);
};

}  // namespace kesto
