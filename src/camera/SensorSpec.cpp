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
Result<void> forEachOption(std::string_view list, std::string_view kind, const auto& handle) {
    std::set<std::string_view> seen;
    for (auto option : split(list, ',')) {
        if (option.empty()) {
            return fail(cformat("%.*s: empty option", static_cast<int>(kind.size()), kind.data()));
        }
        const auto eq = option.find('=');
        const auto key = option.substr(0, eq);
        const auto value =
            eq == std::string_view::npos ? std::string_view{} : option.substr(eq + 1);
        if (!seen.insert(key).second) {
            return fail(cformat("%.*s: '%.*s' given twice", static_cast<int>(kind.size()),
                                kind.data(), static_cast<int>(key.size()), key.data()));
        }
        if (auto handled = handle(key, value, eq != std::string_view::npos); !handled) {
            return handled;
        }
    }
    return {};
}

std::string quoted(std::string_view text) {
    std::string result;
    result.reserve(text.size() + 2);
    result.push_back('\'');
    result.append(text);
    result.push_back('\'');
    return result;
}

Result<void> parseSimulated(std::string_view options, SensorSpec& spec) {
    if (options.empty()) {
        return {};
    }
    return forEachOption(options, "sim", [&](auto key, auto value, bool) -> Result<void> {
        if (key == "rate") {
            if (!parseRate(value, spec.rate)) {
                return fail("sim: rate must be a dose rate in μSv/h from 0 to 100000, not " +
                            quoted(value));
            }
        } else if (key == "seed" || key == "hotseed") {
            const auto seed = parseNumber<std::uint64_t>(value);
            if (!seed) {
                return fail("sim: " + std::string(key) + " must be a whole number, not " +
                            quoted(value));
            }
            (key == "seed" ? spec.seed : spec.hotSeed) = seed;
        } else if (key == "lens") {
            if (value != "covered" && value != "open") {
                return fail("sim: lens must be 'covered' or 'open', not " + quoted(value));
            }
            spec.lensOpen = value == "open";
        } else if (key == "size") {
            const auto x = value.find('x');
            if (x == std::string_view::npos || !parseSide(value.substr(0, x), spec.width) ||
                !parseSide(value.substr(x + 1), spec.height)) {
                return fail("sim: size must be WIDTHxHEIGHT, each from 1 to 8192, not " +
                            quoted(value));
            }
        } else if (key == "hot") {
            const auto hot = parseNumber<std::size_t>(value);
            if (!hot || *hot > SensorSpec::kMaximumHotPixels) {
                return fail("sim: hot must be a number of hot pixels from 0 to 10000, not " +
                            quoted(value));
            }
            spec.hotPixels = *hot;
        } else if (key == "noise") {
            const auto level = parseNumber<std::uint32_t>(value);
            if (!level || *level > SensorSpec::kMaximumDarkLevel) {
                return fail("sim: noise must be a mean dark level from 0 to 100, not " +
                            quoted(value));
            }
            spec.darkLevel = *level;
        } else if (key == "frames") {
            const auto frames = parseNumber<std::uint64_t>(value);
            if (!frames) {
                return fail("sim: frames must be a whole number of frames, not " + quoted(value));
            }
            spec.frames = frames;
        } else {
            return fail("sim: unknown option " + quoted(key) +
                        " (known: rate, seed, lens, size, hot, hotseed, noise, frames)");
        }
        return {};
    });
}

Result<void> parseRaw(std::string_view rest, SensorSpec& spec) {
    const auto comma = rest.find(',');
    spec.directory = std::string(rest.substr(0, comma));
    if (spec.directory.empty()) {
        return fail("raw: a directory is required (raw:DIR)");
    }
    if (comma == std::string_view::npos) {
        return {};
    }
    Result<void> options = forEachOption(
        rest.substr(comma + 1), "raw", [&](auto key, auto value, bool hasValue) -> Result<void> {
            if (key == "loop") {
                if (hasValue) {
                    return fail("raw: 'loop' takes no value");
                }
                spec.loop = true;
                return {};
            }
            std::size_t* target = key == "width"           ? &spec.width
                                  : key == "height"        ? &spec.height
                                  : key == "bytes-per-row" ? &spec.bytesPerRow
                                                           : nullptr;
            if (target == nullptr) {
                return fail("raw: unknown option " + quoted(key) +
                            " (known: width, height, bytes-per-row, loop)");
            }
            bool valid = false;
            if (key == "bytes-per-row") {
                *target = parseNumber<std::size_t>(value).value_or(0);
                valid = *target > 0;
            } else {
                valid = parseSide(value, *target);
            }
            if (!valid) {
                return fail("raw: " + std::string(key) + " must be a whole number" +
                            (key == "bytes-per-row" ? std::string{} : " from 1 to 8192") +
                            ", not " + quoted(value));
            }
            return {};
        });
    if (options && spec.bytesPerRow != 0 && spec.bytesPerRow < 4 * spec.width) {
        return fail(cformat("raw: bytes-per-row must be at least 4 × width (%zu)", 4 * spec.width));
    }
    return options;
}

Result<void> parseCamera(std::string_view device, SensorSpec& spec) {
    if (device.empty()) {
        return {};
    }
    if (parseNumber<unsigned>(device)) {
        spec.device = "/dev/video" + std::string(device);
        return {};
    }
    // The path goes into a pipeline description: only plain path characters.
    const bool plain =
        device.front() == '/' && device.find_first_not_of(
                                     "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                     "0123456789/._-") == std::string_view::npos;
    if (!plain) {
        return fail("camera: DEVICE must be a device path such as /dev/video2 or a number, not " +
                    quoted(device));
    }
    spec.device = std::string(device);
    return {};
}

}  // namespace

Result<SensorSpec> SensorSpec::parse(std::string_view text) {
    const auto colon = text.find(':');
    const auto kind = text.substr(0, colon);
    const auto rest = colon == std::string_view::npos ? std::string_view{} : text.substr(colon + 1);
    SensorSpec spec;
    Result<void> read;
    if (kind == "sim") {
        spec.kind = Kind::Simulated;
        read = parseSimulated(rest, spec);
    } else if (kind == "camera") {
        spec.kind = Kind::Camera;
        read = parseCamera(rest, spec);
    } else if (kind == "raw") {
        spec.kind = Kind::Raw;
        read = parseRaw(rest, spec);
    } else if (kind == "gst") {
        spec.kind = Kind::Pipeline;
        spec.pipeline = std::string(rest);
        if (rest.find_first_not_of(" \t") == std::string_view::npos) {
            read = fail("gst: a pipeline description is required (gst:PIPELINE)");
        }
    } else {
        read = fail("unknown sensor " + quoted(text) +
                    " (expected sim[:...], camera[:DEVICE], raw:DIR[,...] or gst:PIPELINE)");
    }
    if (!read) {
        return read.failure();
    }
    return spec;
}

}  // namespace kesto
