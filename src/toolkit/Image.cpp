#include "toolkit/Image.h"

#include "platform/LocalizedStrings.h"
#include "platform/ResourceLocator.h"

namespace kesto {

std::optional<Image> Image::imageNamed(std::string_view name) {
    auto path = ResourceLocator::pathForResource(name, "", "images");
    if (!path) {
        return std::nullopt;
    }
    return Image(std::string(name), std::move(*path));
}

std::string Image::accessibilityLabel() const {
    // A name without a text comes back as itself: nothing to say.
    std::string label = LocalizedStrings::localizedString(name_);
    return label == name_ ? std::string() : label;
}

}  // namespace kesto
