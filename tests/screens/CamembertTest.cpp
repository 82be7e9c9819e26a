#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "DisplayListRaster.h"
#include "screens/Camembert.h"

namespace kesto {
namespace {

// Pixels whose centre lies in the ideal sector: within half the width of the
// view's centre, at an angle from the 3 o'clock radius, counter-clockwise on
// screen, of at most `degrees`.
bool inIdealSector(double px, double py, double w, double h, double degrees) {
    const double dx = px - w / 2;
    const double dy = h / 2 - py;  // upwards
    if (std::hypot(dx, dy) > w / 2) {
        return false;
    }
    double angle = std::atan2(dy, dx);
    if (angle < 0) {
        angle += 2 * std::numbers::pi;
    }
    return angle <= degrees * std::numbers::pi / 180.0;
}

TEST(CamembertTest, FillsTheSectorOfItsProgressCounterClockwiseFromThreeOClock) {
    struct Case {
        float set;
        float stored;
        double w, h;
    };
    const Case cases[] = {
        {0.0F, 0.0F, 100, 100},     {0.1F, 0.1F, 100, 100},     {90.0F, 90.0F, 100, 100},
        {180.0F, 180.0F, 100, 100}, {270.0F, 270.0F, 100, 100}, {359.0F, 359.0F, 100, 100},
        {360.0F, 360.0F, 100, 100}, {360.1F, 0.0F, 100, 100},   {360.0F, 360.0F, 200, 100},
        {135.0F, 135.0F, 200, 100},
    };
    for (const auto& c : cases) {
        Camembert pie;
        pie.setFrame(Rect::make(0, 0, c.w, c.h));
        pie.setFillColor(Color::colorWithRed(68 / 255.0F, 114 / 255.0F, 0.63555557F, 0.7F));
        pie.setProgress(c.set);
        pie.displayIfNeeded();
        const std::string name = std::to_string(c.set) + " in " + std::to_string(c.w);
        EXPECT_EQ(pie.progress(), c.stored) << name;
        EXPECT_EQ(pie.displayList().empty(), c.stored == 0.0F) << name;

        const int w = static_cast<int>(c.w);
        const int h = static_cast<int>(c.h);
        const test::DisplayListRaster raster(w, h, pie.displayList());
        int expected = 0;
        int mismatched = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const bool ideal = inIdealSector(x + 0.5, y + 0.5, c.w, c.h, c.stored);
                expected += ideal ? 1 : 0;
                mismatched += ideal != (raster.alphaAt(x, y) >= 128) ? 1 : 0;
            }
        }
        // Only pixels along the edges may go either way.
        const double r = c.w / 2;
        const double edge = 2 * r + r * c.stored * std::numbers::pi / 180.0;
        EXPECT_LE(mismatched, edge / 2) << name << ": " << expected << " pixels expected";
    }
}

}  // namespace
}  // namespace kesto
