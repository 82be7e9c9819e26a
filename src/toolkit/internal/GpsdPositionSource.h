#pragma once

#include <cstdint>
#include <string>
#include <thread>

#include "platform/UniqueFd.h"
#include "toolkit/location/PositionSource.h"

namespace kesto {

// Fixes from a gpsd daemon, through libgps, on a reader thread of its own.
//
// A fix is a TPV report with at least a 2D fix; its accuracy is gpsd's
// horizontal error estimate (eph, else one made of the latitude and
// longitude errors), or unknown when gpsd gives none; its time stamp is the
// fix's own time, or the clock's current time when the report has none. The
// coordinates are passed on as gpsd gives them: the application's acceptance
// rule (Location::isAcceptableAt) drops those off the globe.
//
// A gpsd that cannot be reached (within `connectTimeout` seconds), refuses
// the watch request, or closes the connection, or a reader thread that
// cannot be set up, is one failure, and the delivery ends there until the
// next start. stop() wakes the reader and
// joins it at once; it never waits on the network.
class GpsdPositionSource final : public PositionSource {
  public:
    static constexpr double kDefaultConnectTimeout = 5.0;

    GpsdPositionSource(std::string host, std::uint16_t port,
                       double connectTimeout = kDefaultConnectTimeout);
    ~GpsdPositionSource() override;

    void start(PositionSink sink) override;
    void stop() override;

  private:
    std::string host_;
    std::uint16_t port_;
    double connectTimeout_;
    UniqueFd wake_;  // an eventfd: readable once stop() wants the reader gone
    std::thread reader_;
};

}  // namespace kesto
