#include "history/internal/HistoryParser.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "history/internal/PlistNodes.h"
#include "history/internal/RecordChunks.h"
#include "history/internal/XmlValues.h"
#include "platform/CLocaleScope.h"
#include "platform/UniqueHandle.h"

namespace kesto {
namespace {

// Walks an array node in order without indexing (which may be linear).
template <typename Visit>
void forEachItem(plist_t array, Visit visit) {
    plist_array_iter it = nullptr;
    plist_array_new_iter(array, &it);
    const UniqueHandle<void, std::free> iterator(it);
    for (;;) {
        plist_t item = nullptr;
        plist_array_next_item(array, it, &item);
        if (item == nullptr) {
            break;
        }
        visit(item);
    }
}

std::optional<std::string> textOf(plist_t dictionary, const char* key) {
    plist_t node = plist_dict_get_item(dictionary, key);
    if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) {
        return std::nullopt;
    }
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return text ? std::string(text, length) : std::string();
}

// Reads one record dictionary straight from libplist's nodes (no
// intermediate value tree: the history can hold hundreds of thousands of
// events), with the rules of RadiationHistoryRecord::toRadiationHistoryRecord
// and RadiationEvent::toRadiationEvent, except that a value that cannot be
// held exactly is damage, never a changed value.
class RecordReader {
  public:
    explicit RecordReader(std::size_t index) : index_(index) {}

    std::optional<RadiationHistoryRecord> read(plist_t dictionary) {
        using Record = RadiationHistoryRecord;
        Record record;
        record.setTag(textOf(dictionary, Record::kTagKey));
        record.setUdid(textOf(dictionary, Record::kUdidKey));
        record.setStartDate(date(dictionary, Record::kStartDateKey));
        record.setStopDate(date(dictionary, Record::kStopDateKey));
        record.setLatitude(real(dictionary, Record::kLatitudeKey));
        record.setLongitude(real(dictionary, Record::kLongitudeKey));
        if (plist_t simulated = plist_dict_get_item(dictionary, Record::kSimulatedKey);
            simulated != nullptr && plist_get_node_type(simulated) == PLIST_BOOLEAN) {
            std::uint8_t value = 0;
            plist_get_bool_val(simulated, &value);
            record.setSimulated(value != 0);
        }

        std::vector<RadiationEvent> events;
        plist_t array = plist_dict_get_item(dictionary, Record::kRadionEventsKey);
        if (array != nullptr && plist_get_node_type(array) == PLIST_ARRAY) {
            events.reserve(plist_array_get_size(array));
            forEachItem(array, [&](plist_t event) {
                if (plist_get_node_type(event) == PLIST_DICT) {
                    event_ = events.size();
                    events.emplace_back(real(event, RadiationEvent::kTimeIntervalKey),
                                        count(event, RadiationEvent::kNumberOfParticulesKey));
                }
            });
        }
        if (problem_.empty()) {
            record.setRadionEvents(std::move(events));
            return record;
        }
        return std::nullopt;
    }

    const std::string& problem() const { return problem_; }

  private:
    void damage(const char* key, const std::string& what) {
        if (problem_.empty()) {
            problem_ = "record " + std::to_string(index_) +
                       (event_ ? ", radionEvents, item " + std::to_string(*event_) : "") + ", " +
                       key + ": " + what;
        }
    }

    std::optional<Date> date(plist_t dictionary, const char* key) {
        plist_t node = plist_dict_get_item(dictionary, key);
        if (node == nullptr || plist_get_node_type(node) != PLIST_DATE) {
            return std::nullopt;
        }
        const auto seconds = PlistNodes::dateSeconds(node);
        if (!seconds || !(*seconds >= XmlValues::kEarliestDate) ||
            !(*seconds <= XmlValues::kLatestDate)) {
            damage(key, "a date outside years 1000 to 9999");
            return std::nullopt;
        }
        return Date::fromReferenceSeconds(*seconds);
    }

    // An integer, real or boolean; 0.0 for anything else or nothing.
    double real(plist_t dictionary, const char* key) {
        plist_t node = plist_dict_get_item(dictionary, key);
        switch (node ? plist_get_node_type(node) : PLIST_NONE) {
            case PLIST_REAL: {
                double value = 0.0;
                plist_get_real_val(node, &value);
                return value;
            }
            case PLIST_UINT: {
                // Beyond 2^53 a double no longer holds every integer.
                constexpr std::int64_t kExact = std::int64_t{1} << 53;
                const auto value = PlistNodes::integer(node);
                if (!value || *value > kExact || *value < -kExact) {
                    damage(key, "an integer too large to hold exactly");
                    return 0.0;
                }
                return static_cast<double>(*value);
            }
            case PLIST_BOOLEAN: {
                std::uint8_t value = 0;
                plist_get_bool_val(node, &value);
                return value ? 1.0 : 0.0;
            }
            default:
                return 0.0;
        }
    }

    // A whole number within 32 bits; 0 for a value that is not a number.
    std::int32_t count(plist_t dictionary, const char* key) {
        plist_t node = plist_dict_get_item(dictionary, key);
        const plist_type type = node ? plist_get_node_type(node) : PLIST_NONE;
        double value = 0.0;
        if (type == PLIST_UINT) {
            const auto exact = PlistNodes::integer(node);
            value = exact ? static_cast<double>(*exact) : 1e300;
        } else if (type == PLIST_REAL || type == PLIST_BOOLEAN) {
            value = real(dictionary, key);
        }
        if (!(value >= std::numeric_limits<std::int32_t>::min() &&
              value <= std::numeric_limits<std::int32_t>::max() && value == std::trunc(value))) {
            damage(key, "a particle count that is not a whole number within 32 bits");
            return 0;
        }
        return static_cast<std::int32_t>(value);
    }

    std::size_t index_;
    std::optional<std::size_t> event_;
    std::string problem_;
};

// The plain shape, one record's nodes at a time; nothing when the document
// does not have that shape or libplist refuses a record on its own: the
// whole-document parse has the last word then.
std::optional<Result<HistoryFile::Contents>> parseRecords(std::string_view bytes) {
    std::vector<std::string_view> chunks;
    if (!RecordChunks::split(bytes, chunks)) {
        return std::nullopt;
    }
    HistoryFile::Contents contents;
    contents.records.reserve(chunks.size());
    for (std::string_view chunk : chunks) {
        plist_t node = nullptr;
        plist_from_xml(chunk.data(), static_cast<std::uint32_t>(chunk.size()), &node);
        const PlistNodes::Owned owned(node);
        if (!owned || plist_get_node_type(node) != PLIST_DICT) {
            return std::nullopt;
        }
        RecordReader record(contents.records.size());
        auto read = record.read(node);
        if (!read) {
            return fail(record.problem());
        }
        contents.records.push_back(std::make_shared<const RadiationHistoryRecord>(*read));
    }
    return contents;
}

Result<HistoryFile::Contents> parseDocument(std::string_view bytes) {
    plist_t node = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &node);
    const PlistNodes::Owned root(node);
    if (!root) {
        return fail("not a property list");
    }
    if (plist_get_node_type(root.get()) != PLIST_ARRAY) {
        return fail("the property list's root is not an array");
    }
    HistoryFile::Contents contents;
    contents.records.reserve(plist_array_get_size(root.get()));
    std::string problem;
    std::size_t index = 0;
    forEachItem(root.get(), [&](plist_t item) {
        if (!problem.empty()) {
            return;
        }
        if (plist_get_node_type(item) != PLIST_DICT) {
            ++contents.skipped;
        } else if (RecordReader record(index); auto read = record.read(item)) {
            contents.records.push_back(std::make_shared<const RadiationHistoryRecord>(*read));
        } else {
            problem = record.problem();
        }
        ++index;
    });
    if (!problem.empty()) {
        return fail(problem);
    }
    return contents;
}

}  // namespace

Result<HistoryFile::Contents> HistoryParser::parse(std::string_view bytes, Reader reader) {
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        return fail("larger than a property list can be");
    }
    const bool binary = bytes.substr(0, 6) == "bplist";
    if (!binary) {
        if (auto values = XmlValues::check(bytes); !values) {
            return values.failure();
        }
    }
    const CLocaleScope cLocale;
    if (!binary && reader == Reader::ByRecord) {
        if (auto byRecord = parseRecords(bytes)) {
            return std::move(*byRecord);
        }
    }
    return parseDocument(bytes);
}

}  // namespace kesto
