#include "station/StationCheckpoint.h"

#include <cmath>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "history/AtomicFile.h"

namespace kesto {
namespace {

using nlohmann::json;

constexpr int kVersion = 1;
constexpr double kLongestInterval = 3600.0;

bool finiteNumber(const json& value) {
    return value.is_number() && std::isfinite(value.get<double>());
}

Result<StationCheckpoint> fromJson(const json& document) {
    // value() would throw on a "version" of another type: a damaged file is
    // refused, never fatal.
    const auto version = document.is_object() ? document.find("version") : document.end();
    if (version == document.end() || !version->is_number_integer() ||
        version->get<std::int64_t>() != kVersion) {
        return fail("not a version 1 checkpoint");
    }
    for (const char* key : {"start", "end", "darkSeconds", "litSeconds", "frames"}) {
        if (!finiteNumber(document.value(key, json()))) {
            return fail(std::string("no number '") + key + "'");
        }
    }
    if (!document.value("tag", json()).is_string() ||
        !document.value("events", json()).is_array()) {
        return fail("no tag or no events");
    }
    StationCheckpoint checkpoint;
    checkpoint.tag = document["tag"].get<std::string>();
    StationInterval& interval = checkpoint.interval;
    interval.start = Date::fromUnixSeconds(document["start"].get<double>());
    interval.end = Date::fromUnixSeconds(document["end"].get<double>());
    interval.darkSeconds = document["darkSeconds"].get<double>();
    interval.litSeconds = document["litSeconds"].get<double>();
    const double frames = document["frames"].get<double>();
    const double length = interval.end.timeIntervalSince(interval.start);
    constexpr double slack = 1e-3;  // sums of many spans carry rounding
    // A station's interval is an hour at most, and a frame takes a
    // millisecond at least: anything else is not one of its checkpoints.
    if (!(length > 0.0) || length > kLongestInterval || interval.darkSeconds < 0.0 ||
        interval.darkSeconds > length + slack || interval.litSeconds < 0.0 ||
        interval.litSeconds > length + slack || frames < 0.0 || frames > length * 1000.0) {
        return fail("figures out of their interval");
    }
    interval.frames = static_cast<std::uint64_t>(frames);
    for (const json& event : document["events"]) {
        if (!event.is_array() || event.size() != 2 || !finiteNumber(event[0]) ||
            !event[1].is_number_integer()) {
            return fail("an event is not [time, hits]");
        }
        const double time = event[0].get<double>();
        const auto hits = event[1].get<std::int64_t>();
        if (time < 0.0 || time > interval.darkSeconds + slack || hits < 1 || hits > INT32_MAX) {
            return fail("an event out of the interval");
        }
        interval.events.emplace_back(time, static_cast<std::int32_t>(hits));
    }
    return checkpoint;
}

}  // namespace

Result<StationCheckpoint> StationCheckpoint::parse(std::string_view text) {
    const json document = json::parse(text, nullptr, false);
    if (document.is_discarded()) {
        return fail("not JSON");
    }
    return fromJson(document);
}

std::string StationCheckpoint::text() const {
    json events = json::array();
    for (const RadiationEvent& event : interval.events) {
        events.push_back({event.timeStamp(), event.numberOfParticules()});
    }
    const json document = {{"version", kVersion},
                           {"tag", tag},
                           {"start", interval.start.unixSeconds()},
                           {"end", interval.end.unixSeconds()},
                           {"darkSeconds", interval.darkSeconds},
                           {"litSeconds", interval.litSeconds},
                           {"frames", interval.frames},
                           {"events", std::move(events)}};
    // Invalid UTF-8 in a tag is replaced rather than refused: the count matters more.
    return document.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

std::filesystem::path StationCheckpoint::path(const std::filesystem::path& historyDirectory) {
    return historyDirectory / kFileName;
}

Result<void> StationCheckpoint::write(const std::filesystem::path& file) const {
    return AtomicFile::replace(file, text());
}

Result<std::optional<StationCheckpoint>> StationCheckpoint::read(
    const std::filesystem::path& file) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec) {
        if (ec == std::errc::no_such_file_or_directory) {
            return std::optional<StationCheckpoint>();
        }
        return fail("cannot read " + file.string() + ": " + ec.message());
    }
    if (size > kMaxBytes) {
        return fail(file.string() + " is too large for a checkpoint");
    }
    std::ifstream in(file, std::ios::binary);
    if (!in.is_open()) {
        return fail("cannot read " + file.string());
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    auto checkpoint = parse(bytes.str());
    if (!checkpoint) {
        return fail(file.string() + ": " + checkpoint.error());
    }
    return std::optional<StationCheckpoint>(std::move(*checkpoint));
}

Result<void> StationCheckpoint::remove(const std::filesystem::path& file) {
    std::error_code ec;
    std::filesystem::remove(file, ec);
    if (ec) {
        return fail("cannot remove " + file.string() + ": " + ec.message());
    }
    return {};
}

Result<void> StationCheckpoint::moveAside(const std::filesystem::path& file) {
    std::error_code ec;
    std::filesystem::rename(file, file.string() + ".unreadable", ec);
    if (ec) {
        return fail("cannot move " + file.string() + " aside: " + ec.message());
    }
    return {};
}

}  // namespace kesto
