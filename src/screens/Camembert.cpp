#include "screens/Camembert.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "toolkit/GraphicsContext.h"

namespace kesto {

void Camembert::setProgress(float progress) {
    progress_ = progress > 360.0F ? 0.0F : progress;
    setNeedsDisplay();
}

// One arc sub-path (the circular segment, turning towards decreasing angles)
// and one closed triangle (centre, 3 o'clock, the sector's other end), filled
// together with the non-zero rule: exactly the sector, for every angle. The
// radius is half the width and the centre comes from the size alone, so a
// view wider than tall shows a disc cut at top and bottom.
void Camembert::drawRect(GraphicsContext& context, Rect) {
    if (progress_ == 0.0F) {
        return;
    }
    const Rect bounds = this->bounds();
    const double w = bounds.size.width;
    const double h = bounds.size.height;
    context.clearRect(bounds);
    const auto angle = static_cast<float>(progress_ * std::numbers::pi / 180.0);
    const double cx = w * 0.5;
    const double cy = h * 0.5;
    const double r = w * 0.5;
    // 360 degrees in single precision is a hair more than 2π, which would
    // leave an arc from 0 to just below 0: a sliver, not the disc. A full
    // turn is asked for as one, ending a whole turn away.
    constexpr double kTurn = 2.0 * std::numbers::pi;
    const double sweep = std::min(static_cast<double>(angle), kTurn);
    const double arcEnd = sweep < kTurn ? kTurn - sweep : -kTurn;
    context.beginPath();
    context.addArc(cx, cy, r, 0.0, arcEnd, 1);
    context.moveToPoint(cx, cy);
    context.addLineToPoint(w, cy);
    context.addLineToPoint(cx + r * std::cos(-sweep), cy + r * std::sin(-sweep));
    context.addLineToPoint(cx, cy);
    if (fillColor_) {
        context.setFillColor(*fillColor_);
    }
    context.fillPath();
}

}  // namespace kesto
