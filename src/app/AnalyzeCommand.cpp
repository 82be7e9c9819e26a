#include "app/AnalyzeCommand.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <ostream>

#include <nlohmann/json.hpp>

#include "engine/BitmapProcessor.h"
#include "platform/Format.h"

namespace kesto {
namespace {

struct Options {
    std::size_t width = 0;
    std::size_t height = 0;
    std::optional<std::size_t> bytesPerRow;
    bool json = false;
    std::vector<std::string> files;
};

bool parseSize(const std::string& text, std::size_t& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

// Parses the options; on a mistake writes the reason and returns false.
bool parseOptions(const std::vector<std::string>& args, Options& options, std::ostream& err) {
    bool haveWidth = false;
    bool haveHeight = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::size_t& target) {
            if (i + 1 >= args.size()) {
                err << "kesto analyze: " << arg << " needs a value\n";
                return false;
            }
            if (!parseSize(args[++i], target)) {
                err << "kesto analyze: " << arg << " takes a whole number, not '" << args[i]
                    << "'\n";
                return false;
            }
            return true;
        };
        if (arg == "--width") {
            if (!value(options.width)) {
                return false;
            }
            haveWidth = true;
        } else if (arg == "--height") {
            if (!value(options.height)) {
                return false;
            }
            haveHeight = true;
        } else if (arg == "--bytes-per-row") {
            std::size_t b = 0;
            if (!value(b)) {
                return false;
            }
            options.bytesPerRow = b;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            err << "kesto analyze: unknown option '" << arg << "'\n";
            return false;
        } else {
            options.files.push_back(arg);
        }
    }
    if (!haveWidth || !haveHeight) {
        err << "kesto analyze: --width and --height are required\n";
        return false;
    }
    if (options.width == 0 || options.height == 0) {
        err << "kesto analyze: --width and --height must be at least 1\n";
        return false;
    }
    if (options.width > SIZE_MAX / 4 || options.height > SIZE_MAX / (4 * options.width)) {
        err << "kesto analyze: a frame of that size does not fit in memory\n";
        return false;
    }
    if (options.bytesPerRow && *options.bytesPerRow < 4 * options.width) {
        err << "kesto analyze: --bytes-per-row must be at least 4 × width (" << 4 * options.width
            << ")\n";
        return false;
    }
    if (options.bytesPerRow && *options.bytesPerRow > SIZE_MAX / options.height) {
        err << "kesto analyze: a frame of that size does not fit in memory\n";
        return false;
    }
    if (options.files.empty()) {
        err << "kesto analyze: no frame file given\n";
        return false;
    }
    return true;
}

bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

void printReport(const AnalyzeCommand::FrameReport& r, bool json, std::ostream& out) {
    if (json) {
        const nlohmann::json line = {{"file", r.file}, {"hits", r.hits},   {"average", r.average},
                                     {"max", r.max},   {"event", r.event}, {"light", r.light}};
        out << line.dump() << '\n';
        return;
    }
    out << r.file << ": "
        << cformat("hits %d, average %.3f, max %d, event %s, light %s", r.hits, r.average, r.max,
                   r.event ? "yes" : "no", r.light ? "yes" : "no")
        << '\n';
}

}  // namespace

void AnalyzeCommand::printHelp(std::ostream& out) {
    out << "Usage: kesto analyze --width W --height H [--bytes-per-row B] [--json] FILE...\n"
           "\n"
           "Feeds each raw BGRA frame dump (the bytes only, as the raw dump writes them) to\n"
           "the detection engine as one frame of a running acquisition, with the thresholds\n"
           "of this machine's model (KESTO_MACHINE overrides the model), and prints per file:\n"
           "the hit count, the average channel level, the maximum, whether the frame made a\n"
           "detection event, and whether it counts as light reaching the sensor.\n"
           "\n"
           "Options:\n"
           "  --width W           pixels per row\n"
           "  --height H          rows\n"
           "  --bytes-per-row B   distance between row starts (default 4 × W)\n"
           "  --json              one JSON object per line: file, hits, average, max,\n"
           "                      event, light\n"
           "\n"
           "A file whose size is not B × H is reported and skipped; the exit status is\n"
           "then 1.\n";
}

AnalyzeCommand::FrameReport AnalyzeCommand::analyze(BitmapProcessor& engine,
                                                    const std::string& file,
                                                    const std::vector<std::uint8_t>& bytes,
                                                    std::size_t width, std::size_t height,
                                                    std::size_t bytesPerRow) {
    engine.startAcquisition();
    engine.processBitmap(FrameBitmap{bytes.data(), width, height, bytesPerRow}, 0.0);
    engine.stopAcquisition();

    FrameReport report;
    report.file = file;
    const auto events = engine.radiationEvents();
    report.event = events && !events->empty();
    report.hits = report.event ? events->back().numberOfParticules() : 0;
    report.average = engine.avg();
    report.max = engine.max();
    // Judged as the screens judge it: truncated level above truncated limit.
    report.light =
        static_cast<std::int64_t>(report.average) > static_cast<std::int64_t>(engine.seuilSigma());
    return report;
}

int AnalyzeCommand::run(const std::vector<std::string>& args, std::ostream& out,
                        std::ostream& err) {
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") {
            printHelp(out);
            return 0;
        }
    }
    Options options;
    if (!parseOptions(args, options, err)) {
        err << "Run 'kesto analyze --help' for usage.\n";
        return 2;
    }
    const std::size_t bytesPerRow = options.bytesPerRow.value_or(4 * options.width);
    const std::size_t expected = bytesPerRow * options.height;

    auto engine = BitmapProcessor::create();
    int status = 0;
    std::vector<std::uint8_t> bytes;
    for (const auto& file : options.files) {
        if (!readFile(file, bytes)) {
            err << "kesto analyze: " << file << ": cannot be read\n";
            status = 1;
            continue;
        }
        if (bytes.size() != expected) {
            err << "kesto analyze: " << file << ": " << bytes.size() << " bytes, but a frame of "
                << options.width << " × " << options.height << " pixels with " << bytesPerRow
                << " bytes per row is " << expected << " bytes\n";
            status = 1;
            continue;
        }
        printReport(analyze(*engine, file, bytes, options.width, options.height, bytesPerRow),
                    options.json, out);
    }
    return status;
}

}  // namespace kesto
