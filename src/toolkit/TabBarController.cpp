#include "toolkit/TabBarController.h"

#include "platform/Console.h"
#include "platform/ThreadCheck.h"
#include "toolkit/NavigationController.h"

namespace kesto {

bool TabBarControllerDelegate::shouldSelectViewController(TabBarController&, ViewController&) {
    return true;
}

void TabBarControllerDelegate::didSelectViewController(TabBarController&, ViewController&) {}

TabBarController::TabBarController() : ViewController("TabBarController") {}

std::unique_ptr<View> TabBarController::loadView() {
    auto view = std::make_unique<View>();
    view->setFrame(Rect::make(0, 0, 320, 480));
    return view;
}

std::vector<ViewController*> TabBarController::children() const {
    std::vector<ViewController*> out;
    for (const auto& s : screens_) {
        out.push_back(s.get());
    }
    return out;
}

void TabBarController::setViewControllers(std::vector<std::unique_ptr<ViewController>> screens) {
    KESTO_CHECK_MAIN_THREAD();
    if (isOnScreen() && selectedViewController()) {
        selectedViewController()->endAppearance(false);
    }
    screens_ = std::move(screens);
    for (auto& s : screens_) {
        adopt(*s);
    }
    selectedIndex_ = screens_.empty() ? -1 : 0;
    if (isOnScreen() && selectedViewController()) {
        selectedViewController()->beginAppearance(false);
    }
}

ViewController* TabBarController::selectedViewController() const {
    if (selectedIndex_ < 0 || static_cast<std::size_t>(selectedIndex_) >= screens_.size()) {
        return nullptr;
    }
    return screens_[static_cast<std::size_t>(selectedIndex_)].get();
}

void TabBarController::select(int index) {
    KESTO_CHECK_MAIN_THREAD();
    if (index == selectedIndex_) {
        return;
    }
    if (isOnScreen() && selectedViewController()) {
        selectedViewController()->endAppearance(false);
    }
    selectedIndex_ = index;
    if (isOnScreen()) {
        selectedViewController()->beginAppearance(false);
    }
}

void TabBarController::setSelectedIndex(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= screens_.size()) {
        Console::logf("TabBarController: no tab %d", index);
        return;
    }
    select(index);
}

void TabBarController::setSelectedViewController(ViewController* screen) {
    for (std::size_t i = 0; i < screens_.size(); ++i) {
        if (screens_[i].get() == screen) {
            select(static_cast<int>(i));
            return;
        }
    }
    Console::log("TabBarController: that screen is not one of the tabs");
}

bool TabBarController::tapTab(int index) {
    KESTO_CHECK_MAIN_THREAD();
    if (index < 0 || static_cast<std::size_t>(index) >= screens_.size()) {
        return false;
    }
    ViewController& screen = *screens_[static_cast<std::size_t>(index)];
    if (delegate_ && !delegate_->shouldSelectViewController(*this, screen)) {
        return false;
    }
    if (index == selectedIndex_) {
        if (auto* nav = dynamic_cast<NavigationController*>(&screen)) {
            nav->popToRootViewControllerAnimated(true);
        }
    } else {
        select(index);
    }
    if (delegate_) {
        delegate_->didSelectViewController(*this, screen);
    }
    return true;
}

}  // namespace kesto
