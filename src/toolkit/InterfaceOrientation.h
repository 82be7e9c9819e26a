#pragma once

namespace kesto {

enum class InterfaceOrientation { Portrait, PortraitUpsideDown, LandscapeLeft, LandscapeRight };

}  // namespace kesto
