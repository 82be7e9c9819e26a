#pragma once

#include <optional>

#include "toolkit/Color.h"
#include "toolkit/View.h"

namespace kesto {

// The progress pie of the measure and alert screens: a sector of `progress`
// degrees, from the 3 o'clock radius, growing counter-clockwise on screen.
// A value above 360 wraps to 0 (the hour-long measurement starts a new turn).
//
// Threads: main thread only, like every view.
class Camembert : public View {
  public:
    // The colour both detecting screens give their pie.
    static constexpr Color kScreensFillColor =
        Color::colorWithRed(68.0F / 255.0F, 114.0F / 255.0F, 0.63555557F, 0.7F);

    float progress() const { return progress_; }
    // Stores `progress` (0 when above 360) and asks for a redraw, every time.
    void setProgress(float progress);
    const std::optional<Color>& fillColor() const { return fillColor_; }
    // Used by the next redraw; asks for none itself.
    void setFillColor(Color color) { fillColor_ = color; }

  protected:
    void drawRect(GraphicsContext& context, Rect rect) override;

  private:
    float progress_ = 0.0F;
    std::optional<Color> fillColor_;
};

}  // namespace kesto
