#pragma once

#include <string_view>

#include "history/file/HistoryFile.h"
#include "platform/Result.h"

namespace kesto {

// The history file's bytes to records, with the rules of HistoryFile.h. The
// XML form's values are checked first (XmlValues); then a document of the
// plain shape property-list writers produce is handed to libplist one
// record dictionary at a time (RecordChunks), so that libplist never holds
// more than one record's nodes: a history of 1,000 records of 100 events
// (15 MB) loads in about 2.2 times its size, against 6 times whole. Any
// other document (a binary list, comments, a record libplist refuses alone)
// is parsed whole, and that parse has the last word. Tests and the fuzzer
// read documents both ways to check that the two agree.
//
// Threads: any thread; parses in the C locale on the calling thread.
class HistoryParser {
  public:
    enum class Reader { ByRecord, WholeDocument };

    static Result<HistoryFile::Contents> parse(std::string_view bytes,
                                               Reader reader = Reader::ByRecord);
};

}  // namespace kesto
