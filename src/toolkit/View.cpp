#include "toolkit/View.h"

namespace kesto {

View::~View() = default;

void View::setFrame(Rect frame) {
    if (frame.size != frame_.size) {
        needsDisplay_ = true;  // a size change redraws
    }
    frame_ = frame;
}

View& View::addSubview(std::unique_ptr<View> view) {
    view->superview_ = this;
    subviews_.push_back(std::move(view));
    return *subviews_.back();
}

View* View::findByOutletName(std::string_view name) {
    if (!name.empty() && outletName_ == name) {
        return this;
    }
    for (const auto& child : subviews_) {
        if (View* found = child->findByOutletName(name)) {
            return found;
        }
    }
    return nullptr;
}

bool View::isHiddenOnScreen() const {
    for (const View* v = this; v; v = v->superview_) {
        if (v->hidden_) {
            return true;
        }
    }
    return false;
}

void View::displayIfNeeded() {
    if (needsDisplay_) {
        needsDisplay_ = false;
        GraphicsContext context;
        drawRect(context, bounds());
        displayList_ = context.takeCommands();
    }
    for (const auto& child : subviews_) {
        child->displayIfNeeded();
    }
}

void View::drawRect(GraphicsContext&, Rect) {}

}  // namespace kesto
