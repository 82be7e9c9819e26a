// Feeds arbitrary bytes to the history-file reader. It must read the same
// history record by record as all at once; whatever it accepts must save and
// load back to the same records, and agree with the dictionary form's own
// reading rules.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "history/HistoryFile.h"
#include "platform/Utf8Text.h"

namespace {

using kesto::Date;
using kesto::HistoryFile;
using kesto::RadiationHistoryRecord;

bool sameReal(double a, double b) {
    // The file cannot tell -0.0 from 0.0; NaN stays NaN.
    return a == b || (std::isnan(a) && std::isnan(b));
}

// What a save keeps of a date: its whole seconds, whatever the year.
std::optional<Date> saved(const std::optional<Date>& date, bool save) {
    if (!date || !save) {
        return date;
    }
    return Date::fromReferenceSeconds(std::floor(date->referenceSeconds()));
}

std::optional<std::string> saved(const std::optional<std::string>& text, bool save) {
    return text && save ? std::optional<std::string>(kesto::Utf8Text::xmlSafe(*text)) : text;
}

// Whether `after` holds what `before` held, as a save keeps it when `save`.
bool same(const RadiationHistoryRecord& before, const RadiationHistoryRecord& after, bool save) {
    if (saved(before.tag(), save) != after.tag() || saved(before.udid(), save) != after.udid() ||
        saved(before.startDate(), save) != after.startDate() ||
        saved(before.stopDate(), save) != after.stopDate() ||
        !sameReal(before.latitude(), after.latitude()) ||
        !sameReal(before.longitude(), after.longitude()) ||
        before.radionEvents().size() != after.radionEvents().size()) {
        return false;
    }
    for (std::size_t i = 0; i < before.radionEvents().size(); ++i) {
        const auto& a = before.radionEvents()[i];
        const auto& b = after.radionEvents()[i];
        if (!sameReal(a.timeStamp(), b.timeStamp()) ||
            a.numberOfParticules() != b.numberOfParticules()) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const HistoryFile::ReadResult first = HistoryFile::parse(bytes);
    // Record by record or all at once, the reader finds the same history.
    const HistoryFile::ReadResult whole =
        HistoryFile::parse(bytes, HistoryFile::Reader::WholeDocument);
    if (whole.status != first.status || whole.skipped != first.skipped ||
        whole.records.size() != first.records.size()) {
        std::abort();
    }
    for (std::size_t i = 0; i < first.records.size(); ++i) {
        if (!same(*whole.records[i], *first.records[i], false)) {
            std::abort();
        }
    }
    if (first.status != HistoryFile::Status::Loaded) {
        return 0;
    }
    for (const auto& record : first.records) {
        // The fast reader and the dictionary form read alike.
        const auto viaDictionary =
            RadiationHistoryRecord::toRadiationHistoryRecord(record->toDictionary());
        if (!same(*record, viaDictionary, false)) {
            std::abort();
        }
    }
    // Whatever was read can be saved, and reads back the same.
    const std::optional<std::string> file = HistoryFile::serialize(first.records);
    if (!file) {
        std::abort();
    }
    const HistoryFile::ReadResult second = HistoryFile::parse(*file);
    if (second.status != HistoryFile::Status::Loaded || second.skipped != 0 ||
        second.records.size() != first.records.size()) {
        std::abort();
    }
    for (std::size_t i = 0; i < first.records.size(); ++i) {
        if (!same(*first.records[i], *second.records[i], true)) {
            std::abort();
        }
    }
    return 0;
}
