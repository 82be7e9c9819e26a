#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Result.h"

namespace kesto {

// Checks the text of every <integer>, <real> and <date> element of an XML
// property list before libplist reads it: libplist takes "4,8" as 4, an
// octal "010" as 8, 2^64-1 as -1, and turns "yesterday" or month 13 into
// some date. A value is accepted only in a form every property-list reader
// reads alike:
//   integer  -?(0|[1-9][0-9]*) within 64 bits (a particle count within 32)
//   real     decimal with optional exponent, or inf, infinity, nan
//   date     YYYY-MM-DDTHH:MM:SSZ, a real UTC time in years 1000…9999
// Nothing else is judged: the rest of the document is libplist's to read,
// except its depth. libplist parses and frees nested containers by
// recursion, so a damaged or hostile file nested a few hundred thousand
// levels deep would overflow the stack and crash every launch; such a file is
// refused before libplist sees it. A history nests five levels (plist, array,
// record, events, event).
//
// Threads: pure functions, any thread.
class XmlValues {
  public:
    static constexpr std::size_t kNestingLimit = 256;
    // Seconds since 2001-01-01 of the first and last date a history holds
    // (1000-01-01T00:00:00Z and 9999-12-31T23:59:59Z): the years that four
    // digits, and every reader and writer, agree on.
    static constexpr double kEarliestDate = -31588531200.0;
    static constexpr double kLatestDate = 252423993599.0;

    // Fails at the first damaged value, saying "line L, record R, key:
    // problem", or "nested far deeper than a history" for elements (comments,
    // CDATA and declarations aside) more than kNestingLimit levels deep.
    static Result<void> check(std::string_view document);
};

}  // namespace kesto
