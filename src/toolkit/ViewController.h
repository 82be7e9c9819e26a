#pragma once

#include <memory>
#include <string>
#include <vector>

#include "toolkit/InterfaceOrientation.h"
#include "toolkit/LayoutOwner.h"
#include "toolkit/TabBarItem.h"
#include "toolkit/View.h"

namespace kesto {

class NavigationController;
class TabBarController;

// A screen. Its view is built on first use from the layout named after the
// screen's class (resources/layouts/<nibName>.json), with the outlets and
// actions the class declares in declareBindings; then viewDidLoad runs.
// A layout that does not load leaves the screen showing an error label,
// with viewDidLoad not run and no outlet bound (loadFailed() says so).
//
// A screen presented modally covers everything, tab bar included, and is
// owned by its presentation until dismissed; it reaches its presenter as
// parentViewController. A dismissed or popped screen is destroyed at the
// end of the run-loop pass, so it may dismiss itself from its own action.
//
// Threads: main thread only; builds with thread checks abort on a call from
// another thread.
class ViewController : public LayoutOwner {
  public:
    explicit ViewController(std::string nibName);
    virtual ~ViewController();
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    const std::string& nibName() const { return nibName_; }

    View* view();
    bool isViewLoaded() const { return view_ != nullptr; }
    bool loadFailed() const { return loadFailed_; }

    virtual void viewDidLoad() {}
    virtual void viewWillAppear(bool animated);
    virtual void viewDidAppear(bool animated);
    virtual void viewWillDisappear(bool animated);
    // Portrait only, for every screen of this application.
    virtual bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation orientation);
    void declareBindings(Bindings& bindings) override;

    const TabBarItem& tabBarItem() const { return tabBarItem_; }
    void setTabBarItem(TabBarItem item) { tabBarItem_ = std::move(item); }

    // The presenter of a modal screen, or the container holding this one.
    ViewController* parentViewController() const { return parent_; }
    NavigationController* navigationController() const;
    TabBarController* tabBarController() const;

    // Shows `screen` over everything. Refused (the screen is dropped) while
    // this screen already presents one: one modal at a time. This screen (if
    // on screen) hears will-disappear first, and will-appear on dismissal.
    void presentModalViewController(std::unique_ptr<ViewController> screen, bool animated);
    // Closes the modal this screen presents; called on the modal screen
    // itself, closes that one.
    void dismissModalViewControllerAnimated(bool animated);
    ViewController* modalViewController() const { return modal_.get(); }

    // On screen now (between will-appear and will-disappear).
    bool isOnScreen() const { return onScreen_; }
    // Sends the appearance calls to this screen and, for containers, to the
    // child they show; loads the view first.
    void beginAppearance(bool animated);
    void endAppearance(bool animated);
    // The child a container shows; nullptr for plain screens.
    virtual ViewController* visibleChild() const { return nullptr; }
    // Every child a container holds, in order.
    virtual std::vector<ViewController*> children() const { return {}; }

  protected:
    // Builds the view; containers override it (they have no layout).
    virtual std::unique_ptr<View> loadView();
    void adopt(ViewController& child) { child.parent_ = this; }

  private:
    std::string nibName_;
    std::unique_ptr<View> view_;
    bool loadFailed_ = false;
    TabBarItem tabBarItem_;
    ViewController* parent_ = nullptr;
    std::unique_ptr<ViewController> modal_;
    bool presentedModally_ = false;
    bool onScreen_ = false;
    bool coveredByModal_ = false;  // was on screen when its modal came up
};

}  // namespace kesto
