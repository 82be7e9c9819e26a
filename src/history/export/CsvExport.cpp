#include "history/export/CsvExport.h"

#include <cmath>
#include <ostream>

#include "platform/Format.h"

namespace kesto {
namespace {

std::string number(double value, int decimals) {
    return std::isfinite(value) ? cformat("%.*f", decimals, value) : std::string();
}

}  // namespace

std::string CsvExport::field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

std::string CsvExport::text(std::string_view text) {
    if (!text.empty() &&
        std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) {
        std::string guarded(1, '\'');
        guarded.append(text);
        return field(guarded);
    }
    return field(text);
}

void CsvExport::writeHeader(std::ostream& out, bool withDevice) {
    out << "tag,start,stop,duration_s,dose_uSv,mean_rate_uSv_h,rate_low95_uSv_h,"
           "rate_high95_uSv_h,events,latitude,longitude,simulated"
        << (withDevice ? ",device\r\n" : "\r\n");
}

void CsvExport::writeRow(const ExportRow& row, std::ostream& out, const std::string* device) {
    const bool known = row.interval.known();
    const bool placed = row.hasPosition();
    out << text(row.tag) << ',' << row.start.value_or("") << ',' << row.stop.value_or("") << ','
        << number(row.duration, 3) << ',' << number(row.dose, 3) << ',' << number(row.meanRate, 4)
        << ',' << (known ? number(row.interval.lower(), 4) : "") << ','
        << (known ? number(row.interval.upper(), 4) : "") << ',' << row.events << ','
        << (placed ? number(row.latitude, 7) : "") << ','
        << (placed ? number(row.longitude, 7) : "") << ',' << (row.simulated ? "yes" : "no");
    if (device) {
        out << ',' << text(*device);
    }
    out << "\r\n";
}

void CsvExport::write(const std::vector<ExportRow>& rows, std::ostream& out) {
    writeHeader(out);
    for (const ExportRow& row : rows) {
        writeRow(row, out);
    }
}

}  // namespace kesto
