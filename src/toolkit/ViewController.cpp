#include "toolkit/ViewController.h"

#include <utility>

#include "platform/RunLoop.h"
#include "platform/ThreadCheck.h"
#include "toolkit/Label.h"
#include "toolkit/Layout.h"
#include "toolkit/NavigationController.h"
#include "toolkit/TabBarController.h"

namespace kesto {

ViewController::ViewController(std::string nibName) : nibName_(std::move(nibName)) {}

ViewController::~ViewController() = default;

View* ViewController::view() {
    KESTO_CHECK_MAIN_THREAD();
    if (!view_) {
        view_ = loadView();
        if (!view_) {
            // Visible on screen, and in the console (logged by the loader).
            loadFailed_ = true;
            view_ = std::make_unique<View>();
            view_->setFrame(Rect::make(0, 0, 320, 431));
            auto label = std::make_unique<Label>();
            label->setFrame(Rect::make(10, 10, 300, 100));
            label->setNumberOfLines(0);
            label->setText("Layout " + nibName_ + " failed to load");
            label->setTextColor(Color::colorWithRed(0.8F, 0.0F, 0.0F, 1.0F));
            view_->addSubview(std::move(label));
            return view_.get();
        }
        viewDidLoad();
    }
    return view_.get();
}

std::unique_ptr<View> ViewController::loadView() {
    return Layout::load(nibName_, this);
}

void ViewController::viewWillAppear(bool) {}
void ViewController::viewDidAppear(bool) {}
void ViewController::viewWillDisappear(bool) {}
void ViewController::declareBindings(Bindings&) {}

bool ViewController::shouldAutorotateToInterfaceOrientation(InterfaceOrientation orientation) {
    return orientation == InterfaceOrientation::Portrait;
}

NavigationController* ViewController::navigationController() const {
    for (ViewController* p = parent_; p; p = p->parent_) {
        if (auto* nav = dynamic_cast<NavigationController*>(p)) {
            return nav;
        }
    }
    return nullptr;
}

TabBarController* ViewController::tabBarController() const {
    for (ViewController* p = parent_; p; p = p->parent_) {
        if (auto* tabs = dynamic_cast<TabBarController*>(p)) {
            return tabs;
        }
    }
    return nullptr;
}

void ViewController::beginAppearance(bool animated) {
    KESTO_CHECK_MAIN_THREAD();
    view();
    onScreen_ = true;
    viewWillAppear(animated);
    if (ViewController* child = visibleChild()) {
        child->beginAppearance(animated);
    }
    viewDidAppear(animated);
}

void ViewController::endAppearance(bool animated) {
    KESTO_CHECK_MAIN_THREAD();
    if (!onScreen_) {
        return;
    }
    if (ViewController* child = visibleChild()) {
        child->endAppearance(animated);
    }
    viewWillDisappear(animated);
    onScreen_ = false;
}

void ViewController::presentModalViewController(std::unique_ptr<ViewController> screen,
                                                bool animated) {
    KESTO_CHECK_MAIN_THREAD();
    if (!screen) {
        return;
    }
    if (modal_) {
        // One modal at a time; the refused screen goes after this pass.
        RunLoop::main().releaseLater(std::move(screen));
        return;
    }
    screen->parent_ = this;
    screen->presentedModally_ = true;
    modal_ = std::move(screen);
    // The modal covers this screen: it disappears, and appears again when
    // the modal is dismissed.
    coveredByModal_ = onScreen_;
    endAppearance(animated);
    modal_->beginAppearance(animated);
}

void ViewController::dismissModalViewControllerAnimated(bool animated) {
    KESTO_CHECK_MAIN_THREAD();
    if (!modal_) {
        if (presentedModally_ && parent_) {
            parent_->dismissModalViewControllerAnimated(animated);
        }
        return;
    }
    modal_->endAppearance(animated);
    // Destroyed after the current pass: the dismissed screen may be the one
    // whose action is running now.
    RunLoop::main().releaseLater(std::move(modal_));
    // Uncovered, it appears again, unless its container has moved on to
    // another screen meanwhile.
    const bool shown =
        !parent_ || presentedModally_ || (parent_->isOnScreen() && parent_->visibleChild() == this);
    if (std::exchange(coveredByModal_, false) && shown) {
        beginAppearance(animated);
    }
}

}  // namespace kesto
