#include "toolkit/Window.h"

namespace kesto {

void Window::setRootViewController(ViewController* root) {
    if (root_ == root) {
        return;
    }
    if (visible_ && root_) {
        root_->endAppearance(false);
    }
    root_ = root;
    if (visible_ && root_) {
        root_->beginAppearance(false);
    }
}

void Window::makeKeyAndVisible() {
    if (visible_) {
        return;
    }
    visible_ = true;
    if (root_) {
        root_->beginAppearance(false);
    }
}

}  // namespace kesto
