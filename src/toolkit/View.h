#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/Color.h"
#include "toolkit/Geometry.h"
#include "toolkit/GraphicsContext.h"

namespace kesto {

enum class ViewKind {
    View,
    Label,
    Button,
    ImageView,
    TextField,
    TableView,
    TableViewCell,
    WebView
};

// A rectangle on screen with subviews (owned). Custom views override
// drawRect; setNeedsDisplay marks them, and displayIfNeeded (run by a front
// end before it reads the screen) records what they draw as a display list.
//
// Threads: main thread only, like every view.
class View {
  public:
    View() = default;
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    virtual ViewKind kind() const { return ViewKind::View; }

    // The class name a layout asked for ("Camembert"), empty for plain views.
    const std::string& className() const { return className_; }
    void setClassName(std::string name) { className_ = std::move(name); }
    // The outlet name a layout gave this view, so a person (driver) can find it.
    const std::string& outletName() const { return outletName_; }
    void setOutletName(std::string name) { outletName_ = std::move(name); }

    Rect frame() const { return frame_; }
    void setFrame(Rect frame);
    Rect bounds() const { return Rect{{0.0, 0.0}, frame_.size}; }
    void setHidden(bool hidden) { hidden_ = hidden; }
    const std::optional<Color>& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(std::optional<Color> color) { backgroundColor_ = color; }
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

    // What a screen reader says for this view instead of what it shows (a
    // button drawn as an image, a field named by the label above it); empty:
    // its own text.
    const std::string& accessibilityLabel() const { return accessibilityLabel_; }
    void setAccessibilityLabel(std::string label) { accessibilityLabel_ = std::move(label); }
    // How a screen reader hears its changes: Off (only when it is read),
    // Polite (each change, once the reader is idle), Timer (a countdown: now
    // and then, not every tick).
    enum class LiveUpdates { Off, Polite, Timer };
    LiveUpdates liveUpdates() const { return liveUpdates_; }
    void setLiveUpdates(LiveUpdates live) { liveUpdates_ = live; }

    View& addSubview(std::unique_ptr<View> view);
    const std::vector<std::unique_ptr<View>>& subviews() const { return subviews_; }
    // Depth-first search of this view and its subviews by outlet name.
    View* findByOutletName(std::string_view name);
    // Hidden itself or under a hidden superview.
    bool isHiddenOnScreen() const;

    void setNeedsDisplay() { needsDisplay_ = true; }
    // Redraws this view and its subviews where marked.
    void displayIfNeeded();
    // What the last drawRect drew.
    const std::vector<DrawCommand>& displayList() const { return displayList_; }

  protected:
    // Draws the view's content; `rect` is the area to redraw (the bounds).
    virtual void drawRect(GraphicsContext& context, Rect rect);

  private:
    std::string className_;
    std::string outletName_;
    Rect frame_;
    bool hidden_ = false;
    std::optional<Color> backgroundColor_;
    int tag_ = 0;
    std::string accessibilityLabel_;
    LiveUpdates liveUpdates_ = LiveUpdates::Off;
    View* superview_ = nullptr;
    std::vector<std::unique_ptr<View>> subviews_;
    bool needsDisplay_ = true;  // a new view draws at its first display
    std::vector<DrawCommand> displayList_;
};

}  // namespace kesto
