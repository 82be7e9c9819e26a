#pragma once

#include "toolkit/Bindings.h"

namespace kesto {

// An object a layout binds to: a screen, or a custom cell whose layout
// binds to itself.
//
// Threads: main thread.
class LayoutOwner {
  public:
    virtual ~LayoutOwner() = default;
    virtual void declareBindings(Bindings& bindings) = 0;
};

}  // namespace kesto
