#pragma once

#include "toolkit/location/PositionSource.h"

namespace kesto {

// A fixed place: each start delivers one fresh fix there, accuracy 0,
// stamped with the clock's current time.
class FixedPositionSource final : public PositionSource {
  public:
    FixedPositionSource(double latitude, double longitude)
        : latitude_(latitude), longitude_(longitude) {}
    void start(PositionSink sink) override;
    void stop() override {}

  private:
    double latitude_;
    double longitude_;
};

}  // namespace kesto
