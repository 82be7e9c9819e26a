#pragma once

#include <string>
#include <vector>

#include "toolkit/Color.h"
#include "toolkit/Geometry.h"

namespace kesto {

// One drawing operation of a display list, with its numbers in order:
//   clearRect      x, y, width, height
//   beginPath      (none)
//   addArc         x, y, radius, startAngle, endAngle, clockwise (0 or 1)
//   moveToPoint    x, y
//   addLineToPoint x, y
//   closePath      (none)
//   setFillColor   red, green, blue, alpha
//   fillPath       (none; non-zero winding rule)
struct DrawCommand {
    std::string op;
    std::vector<double> values;
    bool operator==(const DrawCommand&) const = default;
};

// The drawing context a custom view draws into. It paints nothing: it
// records the operations as a display list for a front end to replay (in
// view coordinates, y downwards; angles in radians; the clockwise flag as in
// the platform's arc call, i.e. 1 turns towards decreasing angles).
//
// Threads: main thread, during a view's drawRect.
class GraphicsContext {
  public:
    void clearRect(Rect rect);
    void beginPath();
    void addArc(double x, double y, double radius, double startAngle, double endAngle,
                int clockwise);
    void moveToPoint(double x, double y);
    void addLineToPoint(double x, double y);
    void closePath();
    void setFillColor(Color color);
    void fillPath();

    const std::vector<DrawCommand>& commands() const { return commands_; }
    std::vector<DrawCommand> takeCommands() { return std::move(commands_); }

  private:
    std::vector<DrawCommand> commands_;
};

}  // namespace kesto
