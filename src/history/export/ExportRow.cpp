#include "history/export/ExportRow.h"

#include <cmath>

#include "history/RadiationHistoryRecord.h"
#include "platform/Utf8Text.h"

namespace kesto {

ExportRow ExportRow::of(const RadiationHistoryRecord& record) {
    ExportRow row;
    row.tag = Utf8Text::xmlSafe(record.tag().value_or(""));
    if (record.startDate()) {
        row.start = record.startDate()->iso8601();
    }
    if (record.stopDate()) {
        row.stop = record.stopDate()->iso8601();
    }
    row.duration = record.duration();
    row.dose = record.vd();
    row.meanRate = record.vm();
    row.events = static_cast<std::int64_t>(record.radionEvents().size());
    row.interval = DoseRateInterval::forEvents(row.events, row.duration);
    row.latitude = record.latitude();
    row.longitude = record.longitude();
    row.simulated = record.isSimulated();
    return row;
}

bool ExportRow::hasPosition() const {
    if (!std::isfinite(latitude) || !std::isfinite(longitude)) {
        return false;
    }
    if (std::fabs(latitude) > 90.0 || std::fabs(longitude) > 180.0) {
        return false;
    }
    return latitude != 0.0 || longitude != 0.0;
}

}  // namespace kesto
