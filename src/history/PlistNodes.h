#pragma once

#include <memory>
#include <optional>

#include <plist/plist.h>

#include "platform/PropertyListValue.h"

namespace kesto {

// Conversions between our property-list values and libplist's nodes.
// Callers hold a CLocaleScope around libplist's parsing and printing: it uses
// the C library, which follows the thread's locale, and under a
// decimal-comma locale "12.5" would read as 12.
//
// Threads: any thread; libplist nodes are not shared between threads.
class PlistNodes {
  public:
    struct Deleter {
        void operator()(void* node) const { plist_free(node); }
    };
    using Owned = std::unique_ptr<void, Deleter>;

    // Dates hold whole seconds since the property-list reference date, as
    // the XML form does; seconds beyond libplist's 32-bit range clamp.
    static Owned fromValue(const PropertyListValue& value);
    // Nested containers deeper than `maxDepth` are left out (a hostile file
    // must not exhaust the stack). Keys, UIDs and nodes of unknown type give
    // nothing.
    static std::optional<PropertyListValue> toValue(plist_t node, int maxDepth = 32);
    // The scalar value of a number, text or date node; nothing otherwise.
    static std::optional<PropertyListValue> scalar(plist_t node);
};

}  // namespace kesto
