#pragma once

#include <optional>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

namespace kesto {

// What a terminal front end prints while a detection runs, once a second.
// On a terminal one bar redraws in place; into a file or a pipe each second
// is a plain line; with --json each second is one JSON object on its line.
// Messages (the calibration instructions, the verdict) go between them.
//
// Threads: the main thread.
class ProgressReport {
  public:
    enum class Style { Bar, Lines, Json };
    static constexpr int kBarWidth = 24;

    ProgressReport(std::ostream& out, Style style) : out_(out), style_(style) {}
    ~ProgressReport() { endBar(); }
    ProgressReport(const ProgressReport&) = delete;
    ProgressReport& operator=(const ProgressReport&) = delete;

    // Bar on a terminal (standard output that is a tty), else lines or JSON.
    static Style styleFor(const std::ostream& out, bool json);
    Style style() const { return style_; }

    // One second: `fraction` of the run done (none for an open-ended one),
    // the read-out as the screen shows it, and its JSON form.
    void update(std::optional<double> fraction, const std::string& text,
                const nlohmann::json& fields);
    // A message on its own line(s); for JSON, an object.
    void message(const std::string& text, const nlohmann::json& fields);

    // "[#########               ]" for `fraction` (clamped to 0..1).
    static std::string bar(double fraction);

  private:
    void endBar();

    std::ostream& out_;
    Style style_;
    bool barShown_ = false;
};

}  // namespace kesto
