#include "app/AnalyzeCommand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>

#include <CLI/App.hpp>
#include <nlohmann/json.hpp>

#include "app/OptionChecks.h"
#include "app/TerminalText.h"
#include "engine/BitmapProcessor.h"
#include "platform/Format.h"
#include "platform/UniqueFd.h"

namespace kesto {
namespace {

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a regular file";
}

std::string sizeProblem(std::uintmax_t size, std::size_t expected) {
    return std::to_string(size) + " bytes, but a frame is " + std::to_string(expected) + " bytes";
}

// Reads `path` into `bytes` when it is a regular file of exactly `expected`
// bytes; otherwise fails, saying why not. Never blocks on a FIFO and never reads
// more than `expected` bytes.
Result<void> readFrameFile(const std::string& path, std::size_t expected,
                           std::vector<std::uint8_t>& bytes) {
    const auto failure = [](const char* what) {
        return std::string(what) + " (" + std::strerror(errno) + ")";
    };
    // Looked at before opening, so no device is opened and no FIFO waits
    // for a writer; the open descriptor is checked again, as the name may
    // have changed in between.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return fail(failure("cannot be read"));
    }
    if (!S_ISREG(info.st_mode)) {
        return fail(std::string(kindOf(info.st_mode)) + ", not a frame file");
    }
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd || ::fstat(fd.get(), &info) != 0) {
        return fail(failure("cannot be read"));
    }
    if (!S_ISREG(info.st_mode)) {
        return fail(std::string(kindOf(info.st_mode)) + ", not a frame file");
    }
    if (static_cast<std::uintmax_t>(info.st_size) != expected) {
        return fail(sizeProblem(static_cast<std::uintmax_t>(info.st_size), expected));
    }
    bytes.resize(expected);
    std::size_t done = 0;
    while (done < expected) {
        const ssize_t n = ::read(fd.get(), bytes.data() + done, expected - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return fail(failure("cannot be read"));
        }
        if (n == 0) {
            return fail(sizeProblem(done, expected) + " (it shrank while being read)");
        }
        done += static_cast<std::size_t>(n);
    }
    return {};
}

void printReport(const AnalyzeCommand::FrameReport& r, bool json, std::ostream& out) {
    if (json) {
        const nlohmann::json line = {{"file", r.file}, {"hits", r.hits},   {"average", r.average},
                                     {"max", r.max},   {"event", r.event}, {"light", r.light}};
        // A file name that is not UTF-8 must not end the run.
        out << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return;
    }
    out << TerminalText::printable(r.file) << ": "
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
           "A file whose size is not B × H, or that is not a regular file, is reported\n"
           "and skipped; the exit status is then 1.\n";
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

void AnalyzeCommand::declareOptions(CLI::App& app) {
    const auto size = OptionChecks::wholeNumber(1, SIZE_MAX);
    app.add_option("--width", width_)->type_name("W")->required()->check(size);
    app.add_option("--height", height_)->type_name("H")->required()->check(size);
    app.add_option("--bytes-per-row", bytesPerRow_)->type_name("B")->check(size);
    app.add_flag("--json", json_);
    app.add_option("FILE", files_)->required();
}

int AnalyzeCommand::run(std::ostream& out, std::ostream& err) {
    const std::size_t width = width_;
    const std::size_t height = height_;
    if (width > SIZE_MAX / 4 || height > SIZE_MAX / (4 * width)) {
        throw UsageError("a frame of that size does not fit in memory");
    }
    if (bytesPerRow_ && *bytesPerRow_ < 4 * width) {
        throw UsageError("--bytes-per-row must be at least 4 \u00D7 width (" +
                         std::to_string(4 * width) + ")");
    }
    if (bytesPerRow_ && *bytesPerRow_ > SIZE_MAX / height) {
        throw UsageError("a frame of that size does not fit in memory");
    }
    const std::size_t bytesPerRow = bytesPerRow_.value_or(4 * width);
    const std::size_t expected = bytesPerRow * height;

    auto engine = BitmapProcessor::create();
    int status = 0;
    std::vector<std::uint8_t> bytes;
    for (const auto& file : files_) {
        if (const auto read = readFrameFile(file, expected, bytes); !read) {
            err << "kesto analyze: " << TerminalText::printable(file) << ": " << read.error()
                << '\n';
            status = 1;
            continue;
        }
        printReport(analyze(*engine, file, bytes, width, height, bytesPerRow), json_, out);
    }
    return status;
}

}  // namespace kesto
