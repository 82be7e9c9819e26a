#include "toolkit/Image.h"

#include "platform/ResourceLocator.h"

namespace kesto {

std::optional<Image> Image::imageNamed(std::string_view name) {
    auto path = ResourceLocator::pathForResource(name, "", "images");
    if (!path) {
        return std::nullopt;
    }
    return Image(std::string(name), std::move(*path));
}

}  // namespace kesto
