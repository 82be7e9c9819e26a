#include "toolkit/Button.h"

namespace kesto {

void Button::setTitle(std::string title, ControlState s) {
    titles_[index(s)] = std::move(title);
}

std::optional<std::string> Button::titleForState(ControlState s) const {
    return titles_[index(s)] ? titles_[index(s)] : titles_[index(ControlState::Normal)];
}

void Button::setImage(std::optional<Image> image, ControlState s) {
    images_[index(s)] = std::move(image);
}

std::optional<Image> Button::imageForState(ControlState s) const {
    return images_[index(s)] ? images_[index(s)] : images_[index(ControlState::Normal)];
}

void Button::setTitleColor(std::optional<Color> color, ControlState s) {
    titleColors_[index(s)] = color;
}

std::optional<Color> Button::titleColorForState(ControlState s) const {
    return titleColors_[index(s)] ? titleColors_[index(s)]
                                  : titleColors_[index(ControlState::Normal)];
}

void Button::setAction(std::string name, std::function<void()> action) {
    actionName_ = std::move(name);
    action_ = std::move(action);
}

bool Button::sendAction() {
    if (!enabled_ || isHiddenOnScreen() || !action_) {
        return false;
    }
    // A copy: the action may replace this button's action or tear down its screen.
    const auto action = action_;
    action();
    return true;
}

}  // namespace kesto
