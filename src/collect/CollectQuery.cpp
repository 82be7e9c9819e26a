#include "collect/CollectQuery.h"

#include <cmath>
#include <ctime>

#include "platform/ParseNumber.h"

namespace kesto {
namespace {

std::string shown(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, 40)) {
        out += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return out;
}

// Digits of text[at, at + count) as a number, or -1.
int digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) {
        return -1;
    }
    const auto value = parseNumber<int>(text.substr(at, count));
    return value && *value >= 0 && text[at] != '+' && text[at] != '-' ? *value : -1;
}

}  // namespace

Result<std::int64_t> CollectQuery::parseDate(std::string_view text) {
    const auto bad = [&] {
        std::string why = shown(text);
        why += "' is not a date: give 2024-05-01, 2024-05-01T12:00:00Z or Unix seconds";
        return fail(std::string(1, '\'') + why);
    };
    if (text.size() != 10 || text.find('-') == std::string_view::npos) {
        if (const auto seconds = parseNumber<double>(text)) {
            if (!std::isfinite(*seconds) || std::fabs(*seconds) > 253402300800.0) {
                return bad();
            }
            return std::llround(*seconds * 1e6);
        }
    }
    std::tm tm{};
    tm.tm_year = digits(text, 0, 4) - 1900;
    tm.tm_mon = digits(text, 5, 2) - 1;
    tm.tm_mday = digits(text, 8, 2);
    if (text.size() < 10 || text[4] != '-' || text[7] != '-' || tm.tm_year < -1900 ||
        tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31) {
        return bad();
    }
    std::string_view rest = text.substr(10);
    std::int64_t micros = 0;
    if (!rest.empty()) {
        if (rest.front() != 'T' || rest.back() != 'Z') {
            return bad();
        }
        rest = rest.substr(1, rest.size() - 2);
        tm.tm_hour = digits(rest, 0, 2);
        tm.tm_min = digits(rest, 3, 2);
        if (rest.size() < 5 || rest[2] != ':' || tm.tm_hour < 0 || tm.tm_hour > 23 ||
            tm.tm_min < 0 || tm.tm_min > 59) {
            return bad();
        }
        rest.remove_prefix(5);
        if (!rest.empty()) {
            tm.tm_sec = digits(rest, 1, 2);
            if (rest.size() < 3 || rest[0] != ':' || tm.tm_sec < 0 || tm.tm_sec > 60) {
                return bad();
            }
            rest.remove_prefix(3);
            if (!rest.empty()) {
                // A fraction of a second: up to six digits are kept.
                if (rest.front() != '.' || rest.size() < 2 || rest.size() > 10) {
                    return bad();
                }
                std::int64_t scale = 100000;
                for (const char c : rest.substr(1)) {
                    if (c < '0' || c > '9') {
                        return bad();
                    }
                    micros += (c - '0') * scale;
                    scale /= 10;
                }
            }
        }
    }
    const std::time_t seconds = timegm(&tm);
    return static_cast<std::int64_t>(seconds) * 1'000'000 + micros;
}

Result<MeasurementFilter> CollectQuery::parse(const Parameters& query, std::size_t maxLimit) {
    MeasurementFilter filter;
    filter.limit = maxLimit;
    for (const auto& [name, value] : query) {
        if (name == "from" || name == "to") {
            const Result<std::int64_t> date = parseDate(value);
            if (!date) {
                return fail(name + ": " + date.error());
            }
            (name == "from" ? filter.fromMicros : filter.toMicros) = *date;
        } else if (name == "device") {
            if (value.size() > UploadedMeasurement::kMaxUdidBytes) {
                return fail("device: longer than any device identifier");
            }
            filter.udid = value;
        } else if (name == "bbox") {
            double edges[4] = {};
            std::string_view rest = value;
            for (int i = 0; i < 4; ++i) {
                const auto comma = rest.find(',');
                const auto number = parseNumber<double>(rest.substr(0, comma));
                if (!number || !std::isfinite(*number) ||
                    (i < 3) == (comma == std::string_view::npos)) {
                    return fail("bbox: give west,south,east,north in degrees, not '" +
                                shown(value) + "'");
                }
                edges[i] = *number;
                rest =
                    comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            }
            const MeasurementFilter::Box box{edges[1], edges[0], edges[3], edges[2]};
            if (std::fabs(box.south) > 90.0 || std::fabs(box.north) > 90.0 ||
                box.south > box.north) {
                return fail("bbox: south and north must be within ±90, south first");
            }
            // A map zoomed out past a whole turn shows everything.
            filter.box = box;
            if (box.east - box.west >= 360.0) {
                filter.box->west = -180.0;
                filter.box->east = 180.0;
            } else {
                const auto wrap = [](double longitude) { return std::remainder(longitude, 360.0); };
                filter.box->west = wrap(box.west);
                filter.box->east = wrap(box.east);
            }
        } else if (name == "limit") {
            const auto limit = parseNumber<std::size_t>(value);
            if (!limit || *limit == 0 || *limit > maxLimit) {
                return fail("limit: give 1 to " + std::to_string(maxLimit));
            }
            filter.limit = *limit;
        } else if (name != "token") {
            return fail("unknown parameter '" + shown(name) +
                        "': the filters are from, to, device, bbox and limit");
        }
    }
    if (filter.fromMicros && filter.toMicros && *filter.toMicros < *filter.fromMicros) {
        return fail("to is before from");
    }
    return filter;
}

}  // namespace kesto
