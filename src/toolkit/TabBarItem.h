#pragma once

#include <optional>
#include <string>

#include "toolkit/Image.h"

namespace kesto {

// What a screen shows on its tab: title, image (none when the file is
// missing) and an integer tag. A plain value.
struct TabBarItem {
    std::string title;
    std::optional<Image> image;
    int tag = 0;
};

}  // namespace kesto
