#pragma once

#include <cstddef>

#include <CLI/App.hpp>

namespace kesto {

// Checks on option values, made on the text before CLI11 converts it (its
// own conversion would read "-1" as a huge unsigned number).
class OptionChecks {
  public:
    // Decimal digits only, with a value from `minimum` to `maximum`.
    static CLI::Validator wholeNumber(std::size_t minimum, std::size_t maximum);
    // Anything but the empty text.
    static CLI::Validator notEmpty();
};

}  // namespace kesto
