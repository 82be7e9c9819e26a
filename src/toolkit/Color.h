#pragma once

namespace kesto {

// An RGBA colour, components 0 to 1 in single precision (as the screens give
// them, e.g. 68/255 stored as 0.26666668). A plain value: any thread.
struct Color {
    float red = 0.0F;
    float green = 0.0F;
    float blue = 0.0F;
    float alpha = 0.0F;

    static constexpr Color colorWithRed(float r, float g, float b, float a) {
        return Color{r, g, b, a};
    }
    static constexpr Color black() { return Color{0.0F, 0.0F, 0.0F, 1.0F}; }
    static constexpr Color gray() { return Color{0.5F, 0.5F, 0.5F, 1.0F}; }
    static constexpr Color white() { return Color{1.0F, 1.0F, 1.0F, 1.0F}; }
    static constexpr Color clear() { return Color{0.0F, 0.0F, 0.0F, 0.0F}; }

    bool operator==(const Color&) const = default;
};

}  // namespace kesto
