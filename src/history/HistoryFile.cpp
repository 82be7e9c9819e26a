#include "history/HistoryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "history/PlistNodes.h"
#include "history/RecordChunks.h"
#include "history/XmlValues.h"
#include "platform/CLocaleScope.h"
#include "platform/UniqueFd.h"

namespace kesto {
namespace {

// Walks an array node in order without indexing (which may be linear).
template <typename Visit>
void forEachItem(plist_t array, Visit visit) {
    plist_array_iter it = nullptr;
    plist_array_new_iter(array, &it);
    for (;;) {
        plist_t item = nullptr;
        plist_array_next_item(array, it, &item);
        if (item == nullptr) {
            break;
        }
        visit(item);
    }
    std::free(it);
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

}  // namespace

HistoryFile::ReadResult HistoryFile::parse(std::string_view bytes, Reader reader) {
    ReadResult result;
    result.status = Status::Unreadable;
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        result.problem = "larger than a property list can be";
        return result;
    }
    const bool binary = bytes.substr(0, 6) == "bplist";
    if (!binary) {
        if (auto damage = XmlValues::firstDamage(bytes)) {
            result.problem = std::move(*damage);
            return result;
        }
    }
    CLocaleScope cLocale;
    std::vector<std::string_view> chunks;
    if (!binary && reader == Reader::ByRecord && RecordChunks::split(bytes, chunks)) {
        // One record's nodes at a time. A chunk libplist refuses sends the
        // whole document to the whole-document parse, which has the last word.
        result.records.reserve(chunks.size());
        bool refused = false;
        for (std::string_view chunk : chunks) {
            plist_t node = nullptr;
            plist_from_xml(chunk.data(), static_cast<std::uint32_t>(chunk.size()), &node);
            PlistNodes::Owned owned(node);
            if (!owned || plist_get_node_type(node) != PLIST_DICT) {
                refused = true;
                break;
            }
            RecordReader record(result.records.size());
            auto read = record.read(node);
            if (!read) {
                result.problem = record.problem();
                result.records.clear();
                return result;
            }
            result.records.push_back(std::make_shared<const RadiationHistoryRecord>(*read));
        }
        if (!refused) {
            result.status = Status::Loaded;
            return result;
        }
        result = ReadResult();
        result.status = Status::Unreadable;
    }
    PlistNodes::Owned root;
    {
        plist_t node = nullptr;
        plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &node);
        root.reset(node);
    }
    if (!root) {
        result.problem = "not a property list";
        return result;
    }
    if (plist_get_node_type(root.get()) != PLIST_ARRAY) {
        result.problem = "the property list's root is not an array";
        return result;
    }
    result.records.reserve(plist_array_get_size(root.get()));
    std::size_t index = 0;
    forEachItem(root.get(), [&](plist_t item) {
        if (!result.problem.empty()) {
            return;
        }
        if (plist_get_node_type(item) != PLIST_DICT) {
            ++result.skipped;
        } else if (RecordReader record(index); auto read = record.read(item)) {
            result.records.push_back(std::make_shared<const RadiationHistoryRecord>(*read));
        } else {
            result.problem = record.problem();
        }
        ++index;
    });
    if (!result.problem.empty()) {
        result.records.clear();
        result.skipped = 0;
        return result;
    }
    result.status = Status::Loaded;
    return result;
}

HistoryFile::ReadResult HistoryFile::read(const std::filesystem::path& path) {
    ReadResult result;
    result.status = Status::Unreadable;
    // Non-blocking, so a FIFO put in the file's place cannot hang the launch.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        if (errno == ENOENT) {
            result.status = Status::Missing;
        } else {
            result.problem = std::strerror(errno);
        }
        return result;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        result.problem = "not a regular file";
        return result;
    }
    if (static_cast<std::uint64_t>(info.st_size) > std::numeric_limits<std::uint32_t>::max()) {
        result.problem = "larger than a property list can be";
        return result;
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            result.problem = std::strerror(errno);
            return result;
        }
    }
    return parse(bytes);
}

std::optional<std::string> HistoryFile::serialize(const RecordList& records, std::string* problem) {
    PlistNodes::Owned array(plist_new_array());
    std::size_t index = 0;
    for (const auto& record : records) {
        if (!record) {
            continue;
        }
        for (const auto& date : {record->startDate(), record->stopDate()}) {
            const double seconds = date ? std::floor(date->referenceSeconds()) : 0.0;
            if (!(seconds >= XmlValues::kEarliestDate && seconds <= XmlValues::kLatestDate)) {
                if (problem != nullptr) {
                    *problem = "record " + std::to_string(index) +
                               " has a date outside years 1000 to 9999, which no reader "
                               "would read back";
                }
                return std::nullopt;
            }
        }
        plist_array_append_item(array.get(),
                                PlistNodes::fromValue(record->toDictionary()).release());
        ++index;
    }
    CLocaleScope cLocale;
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(array.get(), &xml, &length);
    std::string bytes(xml ? xml : "", xml ? length : 0);
    plist_to_xml_free(xml);
    return bytes;
}

}  // namespace kesto
