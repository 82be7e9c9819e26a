#include "toolkit/NavigationController.h"

#include "platform/RunLoop.h"
#include "platform/ThreadCheck.h"

namespace kesto {

NavigationController::NavigationController(std::unique_ptr<ViewController> root)
    : ViewController("NavigationController") {
    if (root) {
        adopt(*root);
        stack_.push_back(std::move(root));
    }
}

std::unique_ptr<View> NavigationController::loadView() {
    auto view = std::make_unique<View>();
    view->setFrame(Rect::make(0, 0, 320, 431));
    return view;
}

ViewController* NavigationController::topViewController() const {
    return stack_.empty() ? nullptr : stack_.back().get();
}

ViewController* NavigationController::rootViewController() const {
    return stack_.empty() ? nullptr : stack_.front().get();
}

std::vector<ViewController*> NavigationController::children() const {
    std::vector<ViewController*> out;
    for (const auto& s : stack_) {
        out.push_back(s.get());
    }
    return out;
}

void NavigationController::pushViewController(std::unique_ptr<ViewController> screen,
                                              bool animated) {
    KESTO_CHECK_MAIN_THREAD();
    if (!screen) {
        return;
    }
    if (isOnScreen() && topViewController()) {
        topViewController()->endAppearance(animated);
    }
    adopt(*screen);
    stack_.push_back(std::move(screen));
    if (isOnScreen()) {
        stack_.back()->beginAppearance(animated);
    }
}

void NavigationController::popViewControllerAnimated(bool animated) {
    KESTO_CHECK_MAIN_THREAD();
    if (stack_.size() < 2) {
        return;
    }
    auto popped = std::move(stack_.back());
    stack_.pop_back();
    popped->endAppearance(animated);
    // The popped screen may be the one whose action is running now.
    RunLoop::main().releaseLater(std::move(popped));
    if (isOnScreen()) {
        stack_.back()->beginAppearance(animated);
    }
}

void NavigationController::popToRootViewControllerAnimated(bool animated) {
    KESTO_CHECK_MAIN_THREAD();
    if (stack_.size() < 2) {
        return;
    }
    stack_.back()->endAppearance(animated);
    while (stack_.size() > 1) {
        RunLoop::main().releaseLater(std::move(stack_.back()));
        stack_.pop_back();
    }
    if (isOnScreen()) {
        stack_.back()->beginAppearance(animated);
    }
}

void NavigationController::setNavigationBarHidden(bool hidden, bool) {
    navigationBarHidden_ = hidden;
}

}  // namespace kesto
