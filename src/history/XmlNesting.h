#pragma once

#include <cstddef>
#include <string_view>

namespace kesto {

// How deeply the elements of an XML text nest, found without building
// anything. libplist parses and frees nested containers by recursion, so a
// damaged or hostile file nested a few hundred thousand levels deep would
// overflow the stack and crash every launch; such a file is refused before
// libplist sees it. A history nests five levels (plist, array, record,
// events, event).
//
// Threads: pure function, any thread.
class XmlNesting {
  public:
    static constexpr std::size_t kHistoryLimit = 256;
    // False when some element lies more than `limit` levels deep. Comments,
    // CDATA sections, processing instructions and declarations do not count.
    static bool within(std::string_view text, std::size_t limit);
};

}  // namespace kesto
