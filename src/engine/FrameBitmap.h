#pragma once

#include <cstddef>
#include <cstdint>

namespace kesto {

// The plain description of one BGRA frame, as the capture chain hands it to
// the engine. The bytes belong to the caller and are only read during the
// call that receives the description.
struct FrameBitmap {
    const std::uint8_t* baseAddress = nullptr;
    std::size_t width = 0;        // pixels per row
    std::size_t height = 0;       // rows
    std::size_t bytesPerRow = 0;  // distance between row starts, at least 4 × width

    static constexpr std::size_t kBytesPerPixel = 4;  // blue, green, red, alpha
};

}  // namespace kesto
