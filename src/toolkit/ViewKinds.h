#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "toolkit/View.h"

namespace kesto {

// The kinds of control, by the name layouts and the driver's snapshots use
// ("label", "button", ...), with a factory for each: the one table both read.
struct ViewKindInfo {
    ViewKind kind;
    std::string_view name;
    std::unique_ptr<View> (*make)();
};

std::span<const ViewKindInfo> viewKinds();
// The entry named `name`, or nullptr for an unknown name.
const ViewKindInfo* viewKindNamed(std::string_view name);
const ViewKindInfo& viewKindInfo(ViewKind kind);

}  // namespace kesto
