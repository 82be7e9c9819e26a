#pragma once

namespace kesto {

// Makes the screens' custom views (the pie, the history cell) known to the
// layouts by class name. Static initialisers are lost in static libraries,
// so the start-up and the tests call this once before any layout loads.
//
// Threads: any; idempotent.
class ScreenClasses {
  public:
    static void registerAll();
};

}  // namespace kesto
