#pragma once

#include <string_view>
#include <vector>

namespace kesto {

// Finds, in the XML form of a history file, the text of each record
// dictionary of the root array, so each can be parsed on its own: libplist
// then never holds more than one record's nodes, instead of a node tree about
// four times the file's size. Only the plain shape that property-list writers
// produce is split (the usual declaration and DOCTYPE, <plist>,
// <array>, <dict> children separated by white space, matching end tags, no
// comments, CDATA or processing instructions); anything else is left to the
// whole-document parse, which stays the judge of what the file holds.
//
// Threads: pure function, any thread.
class RecordChunks {
  public:
    // True, with `chunks` set to each child's text, when `document` has the
    // plain shape; false otherwise.
    static bool split(std::string_view document, std::vector<std::string_view>& chunks);
};

}  // namespace kesto
