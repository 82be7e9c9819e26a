#include "history/CameraProfileFile.h"

#include <limits>
#include <optional>

#include <nlohmann/json.hpp>

#include "history/AtomicFile.h"
#include "history/file/DataDirectory.h"
#include "platform/RegularFile.h"

namespace kesto {
namespace {

using nlohmann::json;

constexpr int kFormat = 1;

json summary(const CameraProfile::Summary& s) {
    return {{"mean", s.mean}, {"sigma", s.sigma}, {"min", s.min}, {"max", s.max}};
}

// Reads the fields of one JSON object, keeping the first that is missing or
// mistyped: after it, every read gives a zero and the reason stays.
class FieldReader {
  public:
    FieldReader(const json& object, std::string where)
        : object_(object), where_(std::move(where)) {}

    template <typename T>
    T get(const char* key) {
        const auto found = object_.find(key);
        if (found == object_.end()) {
            refuse(key, " is missing");
            return T{};
        }
        if constexpr (std::is_arithmetic_v<T>) {
            const bool unsignedOk = !std::is_unsigned_v<T> || found->is_number_unsigned();
            const bool integerOk = !std::is_integral_v<T> || found->is_number_integer();
            if (!found->is_number() || !unsignedOk || !integerOk) {
                refuse(key, std::string(" is not ") +
                                (std::is_integral_v<T> ? "a whole number" : "a number") +
                                (std::is_unsigned_v<T> ? " from 0" : ""));
                return T{};
            }
            if constexpr (std::is_integral_v<T>) {
                // Out of the type's range: refused, not wrapped.
                const auto wide = found->template get<long double>();
                if (wide < static_cast<long double>(std::numeric_limits<T>::min()) ||
                    wide > static_cast<long double>(std::numeric_limits<T>::max())) {
                    refuse(key, " is out of range");
                    return T{};
                }
            }
        } else if (!found->is_string()) {
            refuse(key, " is not a text");
            return T{};
        }
        return found->template get<T>();
    }

    CameraProfile::Summary summary(const char* key) {
        const auto found = object_.find(key);
        if (found == object_.end() || !found->is_object()) {
            refuse(key, " is missing");
            return {};
        }
        FieldReader inner(*found, where_ + key + ".");
        const CameraProfile::Summary s{inner.get<double>("mean"), inner.get<double>("sigma"),
                                       inner.get<double>("min"), inner.get<double>("max")};
        if (!failure_ && !inner.ok()) {
            failure_ = inner.failure_;
        }
        return s;
    }

    bool ok() const { return !failure_.has_value(); }
    Result<void> outcome() const {
        if (failure_) {
            return fail(*failure_);
        }
        return {};
    }

  private:
    void refuse(const char* key, const std::string& why) {
        if (!failure_) {
            failure_ = where_ + key + why;
        }
    }

    const json& object_;
    std::string where_;
    std::optional<std::string> failure_;
};

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

Result<CameraProfile> CameraProfileFile::decode(const std::string& text) {
    const json object = json::parse(text, nullptr, false);
    if (object.is_discarded() || !object.is_object()) {
        return fail("not a JSON object");
    }
    FieldReader top(object, "");
    if (const int format = top.get<int>("format"); !top.ok() || format != kFormat) {
        return top.ok() ? fail("format is not 1") : top.outcome().failure();
    }
    CameraProfile p;
    p.identity = top.get<std::string>("camera");
    p.threshold = top.get<std::int32_t>("threshold");
    p.lightLimit = top.get<double>("lightLimit");
    p.width = top.get<std::size_t>("width");
    p.height = top.get<std::size_t>("height");
    if (!top.ok()) {
        return top.outcome().failure();
    }
    const auto mask = object.find("mask");
    if (mask == object.end() || !mask->is_array()) {
        return fail("mask is not a list");
    }
    for (const auto& index : *mask) {
        if (!index.is_number_unsigned() || index.get<std::uint64_t>() > 0xFFFFFFFFull) {
            return fail("mask holds " + index.dump() + ", not a channel value index");
        }
        p.mask.push_back(index.get<std::uint32_t>());
    }
    const auto stats = object.find("statistics");
    if (stats == object.end() || !stats->is_object()) {
        return fail("statistics is missing");
    }
    FieldReader read(*stats, "statistics.");
    auto& s = p.statistics;
    s.frames = read.get<std::uint32_t>("frames");
    s.darkLevel = read.summary("darkLevel");
    s.valueMeans = read.summary("valueMeans");
    s.frameAverage = read.summary("frameAverage");
    s.largestUnmaskedHitShare = read.get<double>("largestUnmaskedHitShare");
    s.valuesWithHits = read.get<std::uint64_t>("valuesWithHits");
    s.deviceThreshold = read.get<std::int32_t>("deviceThreshold");
    s.deviceLightLimit = read.get<double>("deviceLightLimit");
    s.falseEventsPerHour = read.get<double>("falseEventsPerHour");
    if (auto fields = read.outcome(); !fields) {
        return fields.failure();
    }
    if (auto valid = p.validate(); !valid) {
        return valid.failure();
    }
    return p;
}

Result<CameraProfile> CameraProfileFile::read(const std::filesystem::path& path) {
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) {
        return fail("no profile at " + path.string() + " (run 'kesto calibrate' first)");
    }
    const Result<std::string> bytes = RegularFile::read(path, kMaximumBytes);
    if (!bytes) {
        return bytes.failure();  // it names the file
    }
    Result<CameraProfile> profile = decode(*bytes);
    if (!profile) {
        return fail(path.string() + ": " + profile.error());
    }
    return profile;
}

Result<void> CameraProfileFile::write(const std::filesystem::path& path,
                                      const CameraProfile& profile) {
    if (auto directory = DataDirectory::ensure(path.parent_path()); !directory) {
        return directory;
    }
    return AtomicFile::replace(path, encode(profile));
}

}  // namespace kesto
