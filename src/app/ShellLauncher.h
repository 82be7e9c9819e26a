#pragma once

#include "platform/Result.h"

namespace kesto {

// Starts the application without a display, for the front ends that show
// and drive it (through Driver): the history served follows the capture
// backend (the simulated sensor's own history for simulated frames), this
// process becomes that history's only writer, then the application launches
// from its main interface (MainWindow), which loads the history. Position
// sources are chosen before, with KestoAppDelegate::setPositionSpec.
//
// Threads: main thread.
class ShellLauncher {
  public:
    // Fails when another process saves into the same history (naming it) or
    // the launch fails.
    static Result<void> launchHeadless();
};

}  // namespace kesto
