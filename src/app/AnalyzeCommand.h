#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/Command.h"

namespace kesto {

class BitmapProcessor;

// `kesto analyze`: feeds raw BGRA frame dumps to the engine, one frame of a
// running acquisition each, with this machine's thresholds, and reports what
// the engine saw in each. Only regular files of exactly one frame's size are
// read; anything else is reported and skipped.
class AnalyzeCommand : public Command {
  public:
    struct FrameReport {
        std::string file;
        std::int32_t hits = 0;
        double average = 0.0;
        std::int32_t max = 0;
        bool event = false;
        bool light = false;
    };

    void declareOptions(CLI::App& app) override;
    int run(std::ostream& out, std::ostream& err) override;
    static void printHelp(std::ostream& out);

    // Analyses one frame held in `bytes`; the engine must be idle.
    static FrameReport analyze(BitmapProcessor& engine, const std::string& file,
                               const std::vector<std::uint8_t>& bytes, std::size_t width,
                               std::size_t height, std::size_t bytesPerRow);

  private:
    std::size_t width_ = 0;
    std::size_t height_ = 0;
    std::optional<std::size_t> bytesPerRow_;
    bool json_ = false;
    std::vector<std::string> files_;
};

}  // namespace kesto
