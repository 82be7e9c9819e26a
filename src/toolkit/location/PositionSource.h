#pragma once

#include <functional>
#include <memory>
#include <string>

#include "toolkit/location/Location.h"
#include "toolkit/location/PositionSpec.h"

namespace kesto {

// Where a source hands its fixes and failures, from whichever thread it
// runs on.
struct PositionSink {
    std::function<void(const Location&)> fix;
    std::function<void(const std::string&)> failure;
};

// The device behind a LocationManager. start() begins a delivery to `sink`
// (a second start() ends the first delivery); stop() ends it, and once it
// has returned the sink is never called again and no longer referenced.
//
// Threads: start() and stop() from one thread (the manager's, the main
// thread); the sink may be called from any thread in between.
class PositionSource {
  public:
    virtual ~PositionSource() = default;
    virtual void start(PositionSink sink) = 0;
    virtual void stop() = 0;
};

// The source a selection asks for.
std::unique_ptr<PositionSource> makePositionSource(const PositionSpec& spec);

}  // namespace kesto
