#include "history/export/KmlExport.h"

#include <cmath>
#include <ostream>

#include "engine/DoseRateInterval.h"
#include "platform/Format.h"

namespace kesto {
namespace {

std::string number(double value, int decimals) {
    return std::isfinite(value) ? cformat("%.*f", decimals, value) : std::string();
}

void data(std::ostream& out, const char* name, const std::string& value) {
    out << "      <Data name=\"" << name << "\"><value>" << KmlExport::escaped(value)
        << "</value></Data>\n";
}

std::string description(const ExportRow& row) {
    std::string text = cformat("%lld events over %.0f s, dose %.3f \u03bcSv, mean %s",
                               static_cast<long long>(row.events), row.duration, row.dose,
                               DoseRateInterval::rateText(row.meanRate).c_str());
    if (row.interval.known()) {
        text += " (" + row.interval.text() + ")";
    }
    return text;
}

}  // namespace

std::string KmlExport::escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            // Kept as references: a parser would fold a raw CR into LF.
            case '\r':
                out += "&#13;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::size_t KmlExport::write(const std::vector<ExportRow>& rows, bool simulated,
                             std::ostream& out) {
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<kml xmlns=\"" << kNamespace << "\">\n<Document>\n"
        << "  <name>" << (simulated ? "Kesto SIMULATED measurements" : "Kesto measurements")
        << "</name>\n";
    std::size_t leftOut = 0;
    for (const ExportRow& row : rows) {
        if (!row.hasPosition()) {
            ++leftOut;
            continue;
        }
        const bool known = row.interval.known();
        out << "  <Placemark>\n"
            << "    <name>" << escaped(row.tag) << "</name>\n"
            << "    <description>" << escaped(description(row)) << "</description>\n";
        if (row.start || row.stop) {
            out << "    <TimeSpan>";
            if (row.start) {
                out << "<begin>" << *row.start << "</begin>";
            }
            if (row.stop) {
                out << "<end>" << *row.stop << "</end>";
            }
            out << "</TimeSpan>\n";
        }
        out << "    <ExtendedData>\n";
        data(out, "start", row.start.value_or(""));
        data(out, "stop", row.stop.value_or(""));
        data(out, "durationSeconds", number(row.duration, 3));
        data(out, "doseMicroSievert", number(row.dose, 3));
        data(out, "meanDoseRate", number(row.meanRate, 4));
        data(out, "doseRateLower95", known ? number(row.interval.lower(), 4) : "");
        data(out, "doseRateUpper95", known ? number(row.interval.upper(), 4) : "");
        data(out, "doseRateUnit", "\u03bcSv/h");
        data(out, "events", std::to_string(row.events));
        data(out, "simulated", row.simulated ? "true" : "false");
        out << "    </ExtendedData>\n"
            << "    <Point><coordinates>" << number(row.longitude, 7) << ','
            << number(row.latitude, 7) << "</coordinates></Point>\n"
            << "  </Placemark>\n";
    }
    out << "</Document>\n</kml>\n";
    return leftOut;
}

}  // namespace kesto
