#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "toolkit/ControlState.h"
#include "toolkit/Image.h"
#include "toolkit/View.h"

namespace kesto {

// A button: title, image and title colour per state, an enabled flag and one
// action. A state without its own title (image, colour) shows the normal
// state's, as the phone's buttons do.
//
// Threads: main thread only.
class Button : public View {
  public:
    ViewKind kind() const override { return ViewKind::Button; }

    void setTitle(std::string title, ControlState state);
    std::optional<std::string> titleForState(ControlState state) const;
    void setImage(std::optional<Image> image, ControlState state);
    std::optional<Image> imageForState(ControlState state) const;
    void setTitleColor(std::optional<Color> color, ControlState state);
    std::optional<Color> titleColorForState(ControlState state) const;

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    // The button the return key of a text field on the same screen taps.
    bool isDefault() const { return default_; }
    void setDefault(bool isDefault) { default_ = isDefault; }
    // The state shown now: Disabled when not enabled, else Normal.
    ControlState state() const { return enabled_ ? ControlState::Normal : ControlState::Disabled; }
    std::optional<std::string> currentTitle() const { return titleForState(state()); }
    std::optional<Image> currentImage() const { return imageForState(state()); }
    std::optional<Color> currentTitleColor() const { return titleColorForState(state()); }

    // The action a layout wired (name for the front end, call for the tap).
    const std::string& actionName() const { return actionName_; }
    void setAction(std::string name, std::function<void()> action);
    // Runs the action as a tap would; false (and nothing run) when disabled,
    // hidden or without action.
    bool sendAction();

  private:
    static std::size_t index(ControlState state) { return static_cast<std::size_t>(state); }

    std::array<std::optional<std::string>, 4> titles_;
    std::array<std::optional<Image>, 4> images_;
    std::array<std::optional<Color>, 4> titleColors_;
    bool enabled_ = true;
    bool default_ = false;
    std::string actionName_;
    std::function<void()> action_;
};

}  // namespace kesto
