#include "toolkit/location/PositionSpec.h"

#include <cmath>

#include "platform/ParseNumber.h"

namespace kesto {
namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool parseDegrees(std::string_view text, double limit, double& value) {
    const auto degrees = parseNumber<double>(trimmed(text));
    value = degrees.value_or(0.0);
    return degrees && std::isfinite(value) && std::fabs(value) <= limit;
}

bool parsePort(std::string_view text, std::uint16_t& port) {
    const auto value = parseNumber<unsigned>(text);
    if (!value || *value < 1 || *value > 65535) {
        return false;
    }
    port = static_cast<std::uint16_t>(*value);
    return true;
}

Result<void> parseFixed(std::string_view text, PositionSpec& spec) {
    const auto comma = text.find(',');
    if (comma == std::string_view::npos || text.find(',', comma + 1) != std::string_view::npos) {
        return fail("expected none, LAT,LON or gpsd[:HOST[:PORT]]");
    }
    if (!parseDegrees(text.substr(0, comma), 90.0, spec.latitude)) {
        return fail("latitude '" + std::string(trimmed(text.substr(0, comma))) +
                    "' is not a number of degrees from -90 to 90");
    }
    if (!parseDegrees(text.substr(comma + 1), 180.0, spec.longitude)) {
        return fail("longitude '" + std::string(trimmed(text.substr(comma + 1))) +
                    "' is not a number of degrees from -180 to 180");
    }
    spec.kind = PositionSpec::Kind::Fixed;
    return {};
}

// "HOST", "HOST:PORT", "[V6]" or "[V6]:PORT".
Result<void> parseGpsd(std::string_view address, PositionSpec& spec) {
    std::string_view host = address;
    std::string_view port;
    bool hasPort = false;
    if (address.starts_with('[')) {
        const auto close = address.find(']');
        if (close == std::string_view::npos) {
            return fail("gpsd: '[' without ']' in '" + std::string(address) + "'");
        }
        host = address.substr(1, close - 1);
        const auto rest = address.substr(close + 1);
        if (!rest.empty()) {
            if (!rest.starts_with(':')) {
                return fail("gpsd: expected ':PORT' after ']' in '" + std::string(address) + "'");
            }
            port = rest.substr(1);
            hasPort = true;
        }
    } else if (const auto colon = address.find(':'); colon != std::string_view::npos) {
        host = address.substr(0, colon);
        port = address.substr(colon + 1);
        hasPort = true;
        if (port.find(':') != std::string_view::npos) {
            return fail("gpsd: write an IPv6 address in brackets, as in gpsd:[::1]:2947");
        }
    }
    // libgps reads some host names as other kinds of device (paths, shared
    // memory), so only plain network names and addresses pass.
    if (host.empty() || host.find_first_of(" \t/[]") != std::string_view::npos) {
        return fail("gpsd: '" + std::string(host) + "' is not a host name or address");
    }
    if (hasPort && !parsePort(port, spec.port)) {
        return fail("gpsd: port '" + std::string(port) + "' is not a number from 1 to 65535");
    }
    spec.host = std::string(host);
    return {};
}

}  // namespace

Result<PositionSpec> PositionSpec::parse(std::string_view text) {
    PositionSpec spec;
    text = trimmed(text);
    if (text.empty() || text == "none") {
        return spec;
    }
    Result<void> read;
    if (text == "gpsd" || text.starts_with("gpsd:")) {
        spec.kind = Kind::Gpsd;
        if (text.size() > 4) {
            read = parseGpsd(text.substr(5), spec);
        }
    } else {
        read = parseFixed(text, spec);
    }
    if (!read) {
        return read.failure();
    }
    return spec;
}

}  // namespace kesto
