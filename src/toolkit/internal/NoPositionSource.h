#pragma once

#include "toolkit/location/PositionSource.h"

namespace kesto {

// No device: never a fix, never a failure.
class NoPositionSource final : public PositionSource {
  public:
    void start(PositionSink) override {}
    void stop() override {}
};

}  // namespace kesto
