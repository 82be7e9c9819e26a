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

// "12:00", "12:00:00" or "12:00:00.25" into `tm` and the microseconds of a
// fraction (up to six digits kept); false when it is none of them.
bool parseTimeOfDay(std::string_view text, std::tm& tm, std::int64_t& micros) {
    tm.tm_hour = digits(text, 0, 2);
    tm.tm_min = digits(text, 3, 2);
    if (text.size() < 5 || text[2] != ':' || tm.tm_hour < 0 || tm.tm_hour > 23 || tm.tm_min < 0 ||
        tm.tm_min > 59) {
        return false;
    }
    text.remove_prefix(5);
    if (text.empty()) {
        return true;
    }
    tm.tm_sec = digits(text, 1, 2);
    if (text.size() < 3 || text[0] != ':' || tm.tm_sec < 0 || tm.tm_sec > 60) {
        return false;
    }
    text.remove_prefix(3);
    if (text.empty()) {
        return true;
    }
    if (text.front() != '.' || text.size() < 2 || text.size() > 10) {
        return false;
    }
    std::int64_t scale = 100000;
    for (const char c : text.substr(1)) {
        if (c < '0' || c > '9') {
            return false;
        }
        micros += (c - '0') * scale;
        scale /= 10;
    }
    return true;
}

// "west,south,east,north" in degrees; longitudes wrapped into ±180, and a
// box wider than a whole turn (a map zoomed far out) shows everything.
Result<MeasurementFilter::Box> parseBox(const std::string& value) {
    double edges[4] = {};
    std::string_view rest = value;
    for (int i = 0; i < 4; ++i) {
        const auto comma = rest.find(',');
        const auto number = parseNumber<double>(rest.substr(0, comma));
        if (!number || !std::isfinite(*number) || (i < 3) == (comma == std::string_view::npos)) {
            return fail("give west,south,east,north in degrees, not '" + shown(value) + "'");
        }
        edges[i] = *number;
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    MeasurementFilter::Box box{edges[1], edges[0], edges[3], edges[2]};
    if (std::fabs(box.south) > 90.0 || std::fabs(box.north) > 90.0 || box.south > box.north) {
        return fail("south and north must be within ±90, south first");
    }
    if (box.east - box.west >= 360.0) {
        box.west = -180.0;
        box.east = 180.0;
    } else {
        box.west = std::remainder(box.west, 360.0);
        box.east = std::remainder(box.east, 360.0);
    }
    return box;
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
        if (!parseTimeOfDay(rest.substr(1, rest.size() - 2), tm, micros)) {
            return bad();
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
            const Result<MeasurementFilter::Box> box = parseBox(value);
            if (!box) {
                return fail("bbox: " + box.error());
            }
            filter.box = *box;
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
