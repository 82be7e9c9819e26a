// Feeds arbitrary bytes to the station's checkpoint reader: whatever it
// accepts is an interval a station could have counted (dates in order, dark
// and lit time within it, events within the dark time), and writes and
// reads back the same.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "station/StationCheckpoint.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto first = kesto::StationCheckpoint::parse(bytes);
    if (!first) {
        return 0;
    }
    const kesto::StationInterval& interval = first->interval;
    const double length = interval.end.timeIntervalSince(interval.start);
    if (!(length > 0.0) || length > 3600.0 || interval.darkSeconds < 0.0 ||
        interval.litSeconds < 0.0) {
        std::abort();
    }
    for (const auto& event : interval.events) {
        if (event.timeStamp() < 0.0 || event.numberOfParticules() < 1) {
            std::abort();
        }
    }
    const auto again = kesto::StationCheckpoint::parse(first->text());
    if (!again || again->tag != first->tag || !(again->interval == interval)) {
        std::abort();
    }
    return 0;
}
