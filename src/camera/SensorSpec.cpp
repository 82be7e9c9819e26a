#include "camera/SensorSpec.h"

#include <cmath>
#include <set>
#include <vector>

#include "platform/Format.h"
#include "platform/ParseNumber.h"

namespace kesto {
namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(at + 1);
    }
}

bool parseSide(std::string_view text, std::size_t& value) {
    const auto side = parseNumber<std::size_t>(text);
    value = side.value_or(0);
    return side && value >= 1 && value <= SensorSpec::kMaximumSide;
}

bool parseRate(std::string_view text, double& value) {
    const auto rate = parseNumber<double>(text);
    value = rate.value_or(0.0);
    return rate && std::isfinite(value) && value >= 0.0 && value <= SensorSpec::kMaximumRate;
}

// Splits "key=value" options, refusing repeats; "flag" alone has an empty value.
bool forEachOption(std::string_view list, std::string_view kind, std::string& error,
                   const auto& handle) {
    std::set<std::string_view> seen;
    for (auto option : split(list, ',')) {
        if (option.empty()) {
            error = cformat("%.*s: empty option", static_cast<int>(kind.size()), kind.data());
            return false;
        }
        const auto eq = option.find('=');
        const auto key = option.substr(0, eq);
        const auto value =
            eq == std::string_view::npos ? std::string_view{} : option.substr(eq + 1);
        if (!seen.insert(key).second) {
            error = cformat("%.*s: '%.*s' given twice", static_cast<int>(kind.size()), kind.data(),
                            static_cast<int>(key.size()), key.data());
            return false;
        }
        if (!handle(key, value, eq != std::string_view::npos)) {
            return false;
        }
    }
    return true;
}

std::string quoted(std::string_view text) {
    std::string result;
    result.reserve(text.size() + 2);
    result.push_back('\'');
    result.append(text);
    result.push_back('\'');
    return result;
}

bool parseSimulated(std::string_view options, SensorSpec& spec, std::string& error) {
    if (options.empty()) {
        return true;
    }
    return forEachOption(options, "sim", error, [&](auto key, auto value, bool) {
        if (key == "rate") {
            if (!parseRate(value, spec.rate)) {
                error =
                    "sim: rate must be a dose rate in μSv/h from 0 to 100000, not " + quoted(value);
                return false;
            }
        } else if (key == "seed") {
            const auto seed = parseNumber<std::uint64_t>(value);
            if (!seed) {
                error = "sim: seed must be a whole number, not " + quoted(value);
                return false;
            }
            spec.seed = seed;
        } else if (key == "lens") {
            if (value != "covered" && value != "open") {
                error = "sim: lens must be 'covered' or 'open', not " + quoted(value);
                return false;
            }
            spec.lensOpen = value == "open";
        } else if (key == "size") {
            const auto x = value.find('x');
            if (x == std::string_view::npos || !parseSide(value.substr(0, x), spec.width) ||
                !parseSide(value.substr(x + 1), spec.height)) {
                error = "sim: size must be WIDTHxHEIGHT, each from 1 to 8192, not " + quoted(value);
                return false;
            }
        } else if (key == "hot") {
            const auto hot = parseNumber<std::size_t>(value);
            if (!hot || *hot > SensorSpec::kMaximumHotPixels) {
                error =
                    "sim: hot must be a number of hot pixels from 0 to 10000, not " + quoted(value);
                return false;
            }
            spec.hotPixels = *hot;
        } else if (key == "noise") {
            const auto level = parseNumber<std::uint32_t>(value);
            if (!level || *level > SensorSpec::kMaximumDarkLevel) {
                error = "sim: noise must be a mean dark level from 0 to 100, not " + quoted(value);
                return false;
            }
            spec.darkLevel = *level;
        } else if (key == "frames") {
            const auto frames = parseNumber<std::uint64_t>(value);
            if (!frames) {
                error = "sim: frames must be a whole number of frames, not " + quoted(value);
                return false;
            }
            spec.frames = frames;
        } else {
            error = "sim: unknown option " + quoted(key) +
                    " (known: rate, seed, lens, size, hot, noise, frames)";
            return false;
        }
        return true;
    });
}

bool parseRaw(std::string_view rest, SensorSpec& spec, std::string& error) {
    const auto comma = rest.find(',');
    spec.directory = std::string(rest.substr(0, comma));
    if (spec.directory.empty()) {
        error = "raw: a directory is required (raw:DIR)";
        return false;
    }
    if (comma == std::string_view::npos) {
        return true;
    }
    const bool ok = forEachOption(
        rest.substr(comma + 1), "raw", error, [&](auto key, auto value, bool hasValue) {
            if (key == "loop") {
                if (hasValue) {
                    error = "raw: 'loop' takes no value";
                    return false;
                }
                spec.loop = true;
                return true;
            }
            std::size_t* target = key == "width"           ? &spec.width
                                  : key == "height"        ? &spec.height
                                  : key == "bytes-per-row" ? &spec.bytesPerRow
                                                           : nullptr;
            if (target == nullptr) {
                error = "raw: unknown option " + quoted(key) +
                        " (known: width, height, bytes-per-row, loop)";
                return false;
            }
            bool valid = false;
            if (key == "bytes-per-row") {
                *target = parseNumber<std::size_t>(value).value_or(0);
                valid = *target > 0;
            } else {
                valid = parseSide(value, *target);
            }
            if (!valid) {
                error = "raw: " + std::string(key) + " must be a whole number" +
                        (key == "bytes-per-row" ? std::string{} : " from 1 to 8192") + ", not " +
                        quoted(value);
                return false;
            }
            return true;
        });
    if (ok && spec.bytesPerRow != 0 && spec.bytesPerRow < 4 * spec.width) {
        error = cformat("raw: bytes-per-row must be at least 4 × width (%zu)", 4 * spec.width);
        return false;
    }
    return ok;
}

bool parseCamera(std::string_view device, SensorSpec& spec, std::string& error) {
    if (device.empty()) {
        return true;
    }
    if (parseNumber<unsigned>(device)) {
        spec.device = "/dev/video" + std::string(device);
        return true;
    }
    // The path goes into a pipeline description: only plain path characters.
    const bool plain =
        device.front() == '/' && device.find_first_not_of(
                                     "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                     "0123456789/._-") == std::string_view::npos;
    if (!plain) {
        error = "camera: DEVICE must be a device path such as /dev/video2 or a number, not " +
                quoted(device);
        return false;
    }
    spec.device = std::string(device);
    return true;
}

}  // namespace

std::optional<SensorSpec> SensorSpec::parse(std::string_view text, std::string& error) {
    const auto colon = text.find(':');
    const auto kind = text.substr(0, colon);
    const auto rest = colon == std::string_view::npos ? std::string_view{} : text.substr(colon + 1);
    SensorSpec spec;
    bool ok = false;
    if (kind == "sim") {
        spec.kind = Kind::Simulated;
        ok = parseSimulated(rest, spec, error);
    } else if (kind == "camera") {
        spec.kind = Kind::Camera;
        ok = parseCamera(rest, spec, error);
    } else if (kind == "raw") {
        spec.kind = Kind::Raw;
        ok = parseRaw(rest, spec, error);
    } else if (kind == "gst") {
        spec.kind = Kind::Pipeline;
        spec.pipeline = std::string(rest);
        ok = rest.find_first_not_of(" \t") != std::string_view::npos;
        if (!ok) {
            error = "gst: a pipeline description is required (gst:PIPELINE)";
        }
    } else {
        error = "unknown sensor " + quoted(text) +
                " (expected sim[:...], camera[:DEVICE], raw:DIR[,...] or gst:PIPELINE)";
    }
    if (!ok) {
        return std::nullopt;
    }
    return spec;
}

}  // namespace kesto
