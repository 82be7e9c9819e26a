#pragma once

#include <cstdint>
#include <vector>

#include "toolkit/GraphicsContext.h"

namespace kesto::test {

// A display list painted with Cairo into an ARGB image of the view's size
// (1 pixel a point), transparent before the first command, so tests can
// check what a custom view draws by its pixels rather than its commands.
class DisplayListRaster {
  public:
    DisplayListRaster(int width, int height, const std::vector<DrawCommand>& commands);
    // Alpha 0 to 255 of the pixel at (x, y), y downwards.
    std::uint8_t alphaAt(int x, int y) const;

  private:
    int width_;
    std::vector<std::uint8_t> alpha_;
};

}  // namespace kesto::test
