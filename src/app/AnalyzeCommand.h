#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace kesto {

class BitmapProcessor;

// `kesto analyze`: feeds raw BGRA frame dumps to the engine, one frame of a
// running acquisition each, with this machine's thresholds, and reports what
// the engine saw in each.
class AnalyzeCommand {
  public:
    struct FrameReport {
        std::string file;
        std::int32_t hits = 0;
        double average = 0.0;
        std::int32_t max = 0;
        bool event = false;
        bool light = false;
    };

    static int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
    static void printHelp(std::ostream& out);

    // Analyses one frame held in `bytes`; the engine must be idle.
    static FrameReport analyze(BitmapProcessor& engine, const std::string& file,
                               const std::vector<std::uint8_t>& bytes, std::size_t width,
                               std::size_t height, std::size_t bytesPerRow);
};

}  // namespace kesto
