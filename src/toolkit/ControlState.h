#pragma once

namespace kesto {

// The states a control shows a title, image or colour for.
enum class ControlState { Normal, Highlighted, Disabled, Selected };

}  // namespace kesto
