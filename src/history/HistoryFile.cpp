#include "history/HistoryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "history/PlistNodes.h"
#include "history/RecordChunks.h"
#include "history/XmlNesting.h"
#include "platform/CLocaleScope.h"

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
    return *PlistNodes::scalar(node)->stringValue();
}

std::optional<Date> dateOf(plist_t dictionary, const char* key) {
    plist_t node = plist_dict_get_item(dictionary, key);
    if (node == nullptr || plist_get_node_type(node) != PLIST_DATE) {
        return std::nullopt;
    }
    return PlistNodes::scalar(node)->dateValue();
}

std::optional<PropertyListValue> numberOf(plist_t dictionary, const char* key) {
    auto value = PlistNodes::scalar(plist_dict_get_item(dictionary, key));
    return value && value->numberAsDouble() ? value : std::nullopt;
}

// Straight from libplist's nodes to a record, with the rules of
// RadiationHistoryRecord::toRadiationHistoryRecord and
// RadiationEvent::toRadiationEvent (no intermediate value tree: the history
// can hold hundreds of thousands of events).
RadiationHistoryRecord recordFrom(plist_t dictionary) {
    using Record = RadiationHistoryRecord;
    Record record;
    record.setTag(textOf(dictionary, Record::kTagKey));
    record.setStartDate(dateOf(dictionary, Record::kStartDateKey));
    record.setStopDate(dateOf(dictionary, Record::kStopDateKey));
    record.setUdid(textOf(dictionary, Record::kUdidKey));
    const auto latitude = numberOf(dictionary, Record::kLatitudeKey);
    record.setLatitude(latitude ? *latitude->numberAsDouble() : 0.0);
    const auto longitude = numberOf(dictionary, Record::kLongitudeKey);
    record.setLongitude(longitude ? *longitude->numberAsDouble() : 0.0);

    std::vector<RadiationEvent> events;
    plist_t array = plist_dict_get_item(dictionary, Record::kRadionEventsKey);
    if (array != nullptr && plist_get_node_type(array) == PLIST_ARRAY) {
        events.reserve(plist_array_get_size(array));
        forEachItem(array, [&](plist_t event) {
            if (plist_get_node_type(event) != PLIST_DICT) {
                return;
            }
            const auto time = numberOf(event, RadiationEvent::kTimeIntervalKey);
            const auto count = numberOf(event, RadiationEvent::kNumberOfParticulesKey);
            events.emplace_back(time ? *time->numberAsDouble() : 0.0,
                                count ? *count->numberAsInt32() : 0);
        });
    }
    record.setRadionEvents(std::move(events));
    return record;
}

}  // namespace

HistoryFile::ReadResult HistoryFile::parse(std::string_view bytes, Reader reader) {
    ReadResult result;
    result.status = Status::Unreadable;
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        result.problem = "larger than a property list can be";
        return result;
    }
    CLocaleScope cLocale;
    std::vector<std::string_view> chunks;
    // A split document nests no deeper than its record chunks allow.
    if (reader == Reader::ByRecord && RecordChunks::split(bytes, chunks)) {
        // One record's nodes at a time. A chunk libplist refuses sends the
        // whole document to the whole-document parse, which has the last word.
        result.status = Status::Loaded;
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
            result.records.push_back(
                std::make_shared<const RadiationHistoryRecord>(recordFrom(node)));
        }
        if (!refused) {
            return result;
        }
        result = ReadResult();
        result.status = Status::Unreadable;
    }
    const bool binary = bytes.substr(0, 6) == "bplist";
    if (!binary && !XmlNesting::within(bytes, XmlNesting::kHistoryLimit)) {
        result.problem = "nested far deeper than a history";
        return result;
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
    result.status = Status::Loaded;
    result.records.reserve(plist_array_get_size(root.get()));
    forEachItem(root.get(), [&](plist_t item) {
        if (plist_get_node_type(item) != PLIST_DICT) {
            ++result.skipped;
            return;
        }
        result.records.push_back(std::make_shared<const RadiationHistoryRecord>(recordFrom(item)));
    });
    return result;
}

HistoryFile::ReadResult HistoryFile::read(const std::filesystem::path& path) {
    ReadResult result;
    result.status = Status::Unreadable;
    // Non-blocking, so a FIFO put in the file's place cannot hang the launch.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) {
            result.status = Status::Missing;
        } else {
            result.problem = std::strerror(errno);
        }
        return result;
    }
    std::string bytes;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        result.problem = "not a regular file";
        ::close(fd);
        return result;
    }
    if (static_cast<std::uint64_t>(info.st_size) > std::numeric_limits<std::uint32_t>::max()) {
        result.problem = "larger than a property list can be";
        ::close(fd);
        return result;
    }
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            result.problem = std::strerror(errno);
            ::close(fd);
            return result;
        }
    }
    ::close(fd);
    return parse(bytes);
}

std::string HistoryFile::serialize(const RecordList& records) {
    PlistNodes::Owned array(plist_new_array());
    for (const auto& record : records) {
        if (record) {
            plist_array_append_item(array.get(),
                                    PlistNodes::fromValue(record->toDictionary()).release());
        }
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
