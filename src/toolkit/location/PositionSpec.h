#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Result.h"

namespace kesto {

// Where device positions come from, as given to --position or
// KESTO_POSITION:
//
//   none              no positions at all (the default; also the empty text)
//   LAT,LON           a fixed place, in decimal degrees (-90..90, -180..180)
//   gpsd[:HOST[:PORT]]
//                     a gpsd daemon, localhost:2947 by default; an IPv6
//                     address is written in brackets: gpsd:[::1]:2947
//
// A value object; any thread.
struct PositionSpec {
    enum class Kind { None, Fixed, Gpsd };

    static constexpr const char* kDefaultHost = "localhost";
    static constexpr std::uint16_t kDefaultPort = 2947;

    Kind kind = Kind::None;
    double latitude = 0.0;
    double longitude = 0.0;
    std::string host = kDefaultHost;
    std::uint16_t port = kDefaultPort;

    // Reads a selection; refused, saying why, on a mistake.
    static Result<PositionSpec> parse(std::string_view text);
};

}  // namespace kesto
