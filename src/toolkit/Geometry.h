#pragma once

namespace kesto {

// Positions and sizes in points; origin top-left, y downwards. The phone
// screen is 320 × 480 points. Plain values: any thread.
struct Point {
    double x = 0.0;
    double y = 0.0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0.0;
    double height = 0.0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    Point origin;
    Size size;
    static constexpr Rect make(double x, double y, double w, double h) {
        return Rect{{x, y}, {w, h}};
    }
    double minY() const { return origin.y; }
    double maxY() const { return origin.y + size.height; }
    bool operator==(const Rect&) const = default;
};

}  // namespace kesto
