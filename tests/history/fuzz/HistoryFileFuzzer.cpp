// Feeds arbitrary bytes to the history-file reader. It must read the same
// history record by record as all at once; whatever it accepts must save and
// load back to the same records, and agree with the dictionary form's own
// reading rules.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "history/file/HistoryFile.h"
#include "history/internal/HistoryParser.h"
#include "platform/Utf8Text.h"

namespace {

using kesto::Date;
using kesto::HistoryFile;
using kesto::HistoryParser;
using kesto::RadiationHistoryRecord;
using kesto::Result;

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

bool sameReal(double a, double b) {
    // The file cannot tell -0.0 from 0.0; NaN stays NaN.
    return a == b || (std::isnan(a) && std::isnan(b));
}

// What a save keeps of a date (its whole seconds, whatever the year) and of a text.
std::optional<Date> saved(const std::optional<Date>& date, bool save) {
    return date && save ? Date::fromReferenceSeconds(std::floor(date->referenceSeconds())) : date;
}
std::optional<std::string> saved(const std::optional<std::string>& text, bool save) {
    return text && save ? std::optional<std::string>(kesto::Utf8Text::xmlSafe(*text)) : text;
}

// Whether `b` holds what `a` held, as a save keeps it when `save`.
bool same(const RadiationHistoryRecord& a, const RadiationHistoryRecord& b, bool save) {
    const auto& x = a.radionEvents();
    const auto& y = b.radionEvents();
    return saved(a.tag(), save) == b.tag() && saved(a.udid(), save) == b.udid() &&
           saved(a.startDate(), save) == b.startDate() &&
           saved(a.stopDate(), save) == b.stopDate() && sameReal(a.latitude(), b.latitude()) &&
           sameReal(a.longitude(), b.longitude()) &&
           std::equal(x.begin(), x.end(), y.begin(), y.end(), [](const auto& e, const auto& f) {
               return sameReal(e.timeStamp(), f.timeStamp()) &&
                      e.numberOfParticules() == f.numberOfParticules();
           });
}

void checkSame(const Result<HistoryFile::Contents>& a, const Result<HistoryFile::Contents>& b,
               bool save) {
    check(a.ok() == b.ok());
    if (!a) {
        return;
    }
    check(a->skipped == b->skipped && a->records.size() == b->records.size());
    for (std::size_t i = 0; i < a->records.size(); ++i) {
        check(same(*a->records[i], *b->records[i], save));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Result<HistoryFile::Contents> first = HistoryFile::parse(bytes);
    checkSame(HistoryParser::parse(bytes, HistoryParser::Reader::WholeDocument), first, false);
    if (!first) {
        return 0;
    }
    for (const auto& record : first->records) {
        check(same(*record,
                   RadiationHistoryRecord::toRadiationHistoryRecord(record->toDictionary()),
                   false));
    }
    // Whatever was read can be saved, and reads back the same.
    const Result<std::string> file = HistoryFile::serialize(first->records);
    check(file.ok());
    HistoryFile::Contents firstSaved = *first;
    firstSaved.skipped = 0;
    checkSame(firstSaved, HistoryFile::parse(*file), true);
    return 0;
}
