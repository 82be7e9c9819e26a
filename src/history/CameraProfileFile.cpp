#include "history/CameraProfileFile.h"

#include <nlohmann/json.hpp>

#include "history/AtomicFile.h"
#include "history/DataDirectory.h"
#include "platform/RegularFile.h"

namespace kesto {
namespace {

using nlohmann::json;

constexpr int kFormat = 1;

json summary(const CameraProfile::Summary& s) {
    return {{"mean", s.mean}, {"sigma", s.sigma}, {"min", s.min}, {"max", s.max}};
}

// Reads the field `key` of `object` as T, or throws with the field's name.
template <typename T>
T field(const json& object, const char* key, const std::string& where) {
    const auto found = object.find(key);
    if (found == object.end()) {
        throw std::runtime_error(where + key + " is missing");
    }
    const bool numeric = std::is_arithmetic_v<T> && found->is_number();
    const bool unsignedOk = !std::is_unsigned_v<T> || found->is_number_unsigned();
    const bool integerOk = !std::is_integral_v<T> || found->is_number_integer();
    if constexpr (std::is_arithmetic_v<T>) {
        if (!numeric || !unsignedOk || !integerOk) {
            throw std::runtime_error(where + key + " is not " +
                                     (std::is_integral_v<T> ? "a whole number" : "a number") +
                                     (std::is_unsigned_v<T> ? " from 0" : ""));
        }
        if constexpr (std::is_integral_v<T>) {
            // Out of the type's range: refused, not wrapped.
            const auto wide = found->template get<long double>();
            if (wide < static_cast<long double>(std::numeric_limits<T>::min()) ||
                wide > static_cast<long double>(std::numeric_limits<T>::max())) {
                throw std::runtime_error(where + key + " is out of range");
            }
        }
    } else if (!found->is_string()) {
        throw std::runtime_error(where + key + " is not a text");
    }
    return found->template get<T>();
}

CameraProfile::Summary readSummary(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_object()) {
        throw std::runtime_error(std::string("statistics.") + key + " is missing");
    }
    const std::string where = std::string("statistics.") + key + ".";
    return {field<double>(*found, "mean", where), field<double>(*found, "sigma", where),
            field<double>(*found, "min", where), field<double>(*found, "max", where)};
}

}  // namespace

std::filesystem::path CameraProfileFile::path(const std::filesystem::path& dataDirectory,
                                              const std::string& cameraFileName) {
    return dataDirectory / "profiles" / cameraFileName;
}

std::string CameraProfileFile::encode(const CameraProfile& p) {
    const auto& s = p.statistics;
    const json object = {{"format", kFormat},
                         {"camera", p.identity},
                         {"threshold", p.threshold},
                         {"lightLimit", p.lightLimit},
                         {"width", p.width},
                         {"height", p.height},
                         {"mask", p.mask},
                         {"statistics",
                          {{"frames", s.frames},
                           {"darkLevel", summary(s.darkLevel)},
                           {"valueMeans", summary(s.valueMeans)},
                           {"frameAverage", summary(s.frameAverage)},
                           {"largestUnmaskedHitShare", s.largestUnmaskedHitShare},
                           {"valuesWithHits", s.valuesWithHits},
                           {"deviceThreshold", s.deviceThreshold},
                           {"deviceLightLimit", s.deviceLightLimit},
                           {"falseEventsPerHour", s.falseEventsPerHour}}}};
    return object.dump(1) + "\n";
}

std::optional<CameraProfile> CameraProfileFile::decode(const std::string& text,
                                                       std::string& error) {
    const json object = json::parse(text, nullptr, false);
    if (object.is_discarded() || !object.is_object()) {
        error = "not a JSON object";
        return std::nullopt;
    }
    try {
        if (field<int>(object, "format", "") != kFormat) {
            throw std::runtime_error("format is not 1");
        }
        CameraProfile p;
        p.identity = field<std::string>(object, "camera", "");
        p.threshold = field<std::int32_t>(object, "threshold", "");
        p.lightLimit = field<double>(object, "lightLimit", "");
        p.width = field<std::size_t>(object, "width", "");
        p.height = field<std::size_t>(object, "height", "");
        const auto mask = object.find("mask");
        if (mask == object.end() || !mask->is_array()) {
            throw std::runtime_error("mask is not a list");
        }
        for (const auto& index : *mask) {
            if (!index.is_number_unsigned() || index.get<std::uint64_t>() > 0xFFFFFFFFull) {
                throw std::runtime_error("mask holds " + index.dump() +
                                         ", not a channel value index");
            }
            p.mask.push_back(index.get<std::uint32_t>());
        }
        const auto stats = object.find("statistics");
        if (stats == object.end() || !stats->is_object()) {
            throw std::runtime_error("statistics is missing");
        }
        auto& s = p.statistics;
        const std::string where = "statistics.";
        s.frames = field<std::uint32_t>(*stats, "frames", where);
        s.darkLevel = readSummary(*stats, "darkLevel");
        s.valueMeans = readSummary(*stats, "valueMeans");
        s.frameAverage = readSummary(*stats, "frameAverage");
        s.largestUnmaskedHitShare = field<double>(*stats, "largestUnmaskedHitShare", where);
        s.valuesWithHits = field<std::uint64_t>(*stats, "valuesWithHits", where);
        s.deviceThreshold = field<std::int32_t>(*stats, "deviceThreshold", where);
        s.deviceLightLimit = field<double>(*stats, "deviceLightLimit", where);
        s.falseEventsPerHour = field<double>(*stats, "falseEventsPerHour", where);
        if (!p.validate(error)) {
            return std::nullopt;
        }
        return p;
    } catch (const std::exception& e) {
        error = e.what();
        return std::nullopt;
    }
}

std::optional<CameraProfile> CameraProfileFile::read(const std::filesystem::path& path,
                                                     std::string& error) {
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) {
        error = "no profile at " + path.string() + " (run 'kesto calibrate' first)";
        return std::nullopt;
    }
    const Result<std::string> bytes = RegularFile::read(path, kMaximumBytes);
    if (!bytes) {
        error = bytes.error();
        return std::nullopt;
    }
    auto profile = decode(*bytes, error);
    if (!profile) {
        error = path.string() + ": " + error;
    }
    return profile;
}

bool CameraProfileFile::write(const std::filesystem::path& path, const CameraProfile& profile,
                              std::string& error) {
    if (!DataDirectory::ensure(path.parent_path(), error)) {
        return false;
    }
    return AtomicFile::replace(path, encode(profile), error);
}

}  // namespace kesto
