#include "app/ProgressReport.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <iostream>

namespace kesto {

ProgressReport::Style ProgressReport::styleFor(const std::ostream& out, bool json) {
    if (json) {
        return Style::Json;
    }
    return &out == &std::cout && isatty(STDOUT_FILENO) == 1 ? Style::Bar : Style::Lines;
}

std::string ProgressReport::bar(double fraction) {
    const double clamped = std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 1.0);
    const auto filled = static_cast<int>(std::lround(clamped * kBarWidth));
    std::string shown(kBarWidth + 2, ' ');
    shown.front() = '[';
    shown.back() = ']';
    shown.replace(1, static_cast<std::size_t>(filled), static_cast<std::size_t>(filled), '#');
    return shown;
}

void ProgressReport::update(std::optional<double> fraction, const std::string& text,
                            const nlohmann::json& fields) {
    switch (style_) {
        case Style::Json:
            out_ << fields.dump() << std::endl;
            break;
        case Style::Lines:
            out_ << text << std::endl;
            break;
        case Style::Bar:
            // Back to the start of the line and clear it: the bar redraws in place.
            out_ << "\r\033[K" << (fraction ? bar(*fraction) + " " : std::string()) << text
                 << std::flush;
            barShown_ = true;
            break;
    }
}

void ProgressReport::message(const std::string& text, const nlohmann::json& fields) {
    if (style_ == Style::Json) {
        out_ << fields.dump() << std::endl;
        return;
    }
    endBar();
    out_ << text << std::endl;
}

void ProgressReport::endBar() {
    if (barShown_) {
        out_ << '\n' << std::flush;
        barShown_ = false;
    }
}

}  // namespace kesto
