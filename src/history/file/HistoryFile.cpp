#include "history/file/HistoryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "history/internal/HistoryParser.h"
#include "history/internal/PlistNodes.h"
#include "history/internal/XmlValues.h"
#include "platform/CLocaleScope.h"
#include "platform/UniqueFd.h"
#include "platform/UniqueHandle.h"

namespace kesto {

Result<HistoryFile::Contents> HistoryFile::parse(std::string_view bytes) {
    return HistoryParser::parse(bytes);
}

Result<HistoryFile::Contents> HistoryFile::read(const std::filesystem::path& path) {
    // Non-blocking, so a FIFO put in the file's place cannot hang the launch.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        if (errno == ENOENT) {
            Contents none;
            none.exists = false;
            return none;
        }
        return fail(std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return fail("not a regular file");
    }
    if (static_cast<std::uint64_t>(info.st_size) > std::numeric_limits<std::uint32_t>::max()) {
        return fail("larger than a property list can be");
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
            return fail(std::strerror(errno));
        }
    }
    return parse(bytes);
}

Result<std::string> HistoryFile::serialize(const RecordList& records) {
    PlistNodes::Owned array(plist_new_array());
    std::size_t index = 0;
    for (const auto& record : records) {
        if (!record) {
            continue;
        }
        for (const auto& date : {record->startDate(), record->stopDate()}) {
            const double seconds = date ? std::floor(date->referenceSeconds()) : 0.0;
            if (!(seconds >= XmlValues::kEarliestDate && seconds <= XmlValues::kLatestDate)) {
                return fail("record " + std::to_string(index) +
                            " has a date outside years 1000 to 9999, which no reader would read "
                            "back");
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
    const UniqueHandle<char, plist_to_xml_free> owned(xml);
    return std::string(xml ? xml : "", xml ? length : 0);
}

}  // namespace kesto
