#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <plist/plist.h>

#include "platform/PropertyListValue.h"
#include "platform/UniqueHandle.h"

namespace kesto {

// Conversions between our property-list values and libplist's nodes.
// Callers hold a CLocaleScope around libplist's parsing and printing: it uses
// the C library, which follows the thread's locale, and under a
// decimal-comma locale "12.5" would read as 12.
//
// Threads: any thread; libplist nodes are not shared between threads.
class PlistNodes {
  public:
    using Owned = UniqueHandle<void, plist_free>;

    // Dates hold whole seconds since the property-list reference date, as
    // the XML form does, whatever their year.
    static Owned fromValue(const PropertyListValue& value);

    // A date node's seconds since the reference date, exactly. Debian 12's
    // libplist keeps a date as a double but its accessors pass 32-bit
    // seconds (1901…2038 from 1970, plus 31 years); outside that range the
    // value is taken from libplist's binary form, which carries the double
    // whole.
    static std::optional<double> dateSeconds(plist_t node);
    static Owned newDate(double referenceSeconds);
    // An integer node's value, or nothing when it is above the signed 64-bit
    // range (libplist hands every integer out as unsigned).
    static std::optional<std::int64_t> integer(plist_t node);
};

}  // namespace kesto
