#include "app/HistoryCommand.h"

#include <algorithm>
#include <optional>
#include <ostream>

#include <CLI/App.hpp>
#include <nlohmann/json.hpp>

#include "app/OptionChecks.h"
#include "app/TerminalText.h"
#include "engine/BitmapProcessor.h"
#include "engine/DoseRateInterval.h"
#include "history/AppUtils.h"
#include "history/RadiationHistoryMng.h"
#include "history/UploadLog.h"
#include "history/export/CsvExport.h"
#include "history/export/ExportRow.h"
#include "history/export/GeoJsonExport.h"
#include "history/export/KmlExport.h"
#include "platform/Format.h"

namespace kesto {
namespace {

std::string isolated(const std::optional<std::string>& text, const char* absent) {
    return text ? TerminalText::isolated(*text) : std::string(absent);
}

nlohmann::ordered_json orNull(const std::optional<std::string>& text) {
    return text ? nlohmann::ordered_json(*text) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json orNull(const std::optional<Date>& date) {
    return date ? nlohmann::ordered_json(date->iso8601()) : nlohmann::ordered_json(nullptr);
}

std::string dump(const nlohmann::ordered_json& value) {
    // A text that is not UTF-8 must not abort the listing.
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void printJson(const RadiationHistoryMng::RecordList& records, bool simulated,
               const UploadLog::Outcomes& uploads, std::ostream& out) {
    // One record at a time, so a long history never sits in memory twice.
    out << (simulated ? "{\"simulated\": true, \"records\": [" : "{\"records\": [");
    bool first = true;
    for (const auto& record : records) {
        nlohmann::ordered_json events = nlohmann::ordered_json::array();
        for (const RadiationEvent& event : record->radionEvents()) {
            events.push_back({event.timeStamp(), event.numberOfParticules()});
        }
        const auto interval = DoseRateInterval::forEvents(
            static_cast<std::int64_t>(record->radionEvents().size()), record->duration());
        const bool known = interval.known();
        const nlohmann::ordered_json item = {
            {"tag", orNull(record->tag())},
            {"udid", orNull(record->udid())},
            {"startDate", orNull(record->startDate())},
            {"stopDate", orNull(record->stopDate())},
            {"latitude", record->latitude()},
            {"longitude", record->longitude()},
            {"duration", record->duration()},
            {"vd", record->vd()},
            {"vm", record->vm()},
            {"vmLower95", known ? nlohmann::ordered_json(interval.lower()) : nullptr},
            {"vmUpper95", known ? nlohmann::ordered_json(interval.upper()) : nullptr},
            {"events", std::move(events)},
            {"simulated", record->isSimulated()},
            {"upload", UploadLog::text(record->isSimulated() ? UploadLog::Status::NeverSent
                                                             : uploads.statusOf(*record))},
        };
        out << (first ? "" : ", ") << dump(item);
        first = false;
    }
    const nlohmann::ordered_json totals = {
        {"timeTotal", RadiationHistoryMng::timeTotal()},
        {"vdTotal", RadiationHistoryMng::vdTotal()},
        {"expostionMoyenne", RadiationHistoryMng::expostionMoyenne()},
    };
    const std::string tail = dump(totals);
    out << "], " << tail.substr(1) << '\n';
}

void printText(const RadiationHistoryMng::RecordList& records, bool simulated,
               const UploadLog::Outcomes& uploads, std::ostream& out) {
    // Each record says whether it is simulated, wherever it is kept.
    const auto simulatedRecords = std::count_if(
        records.begin(), records.end(), [](const auto& record) { return record->isSimulated(); });
    if (simulatedRecords > 0 || (simulated && records.empty())) {
        out << (simulatedRecords == static_cast<std::ptrdiff_t>(records.size())
                    ? "SIMULATED measurements, made up by the simulated sensor, not real ones:\n"
                    : "Lines marked SIMULATED were made up by the simulated sensor, not "
                      "measured:\n");
    }
    if (records.empty()) {
        out << "No saved measurements.\n";
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
        const RadiationHistoryRecord& record = *records[i];
        double vm = record.vm();
        const std::string vmUnit = BitmapProcessor::getUnitOfVMValue(vm);
        double vd = record.vd();
        const std::string vdUnit = BitmapProcessor::getUnitOfVDValue(vd);
        out << cformat("%zu  ", i) << isolated(record.tag(), "(no tag)") << "  "
            << (record.startDate() ? record.startDate()->iso8601() : "(no start date)") << "  ("
            << AppUtils::stringHoursMinuteSecond(record.duration()) << ")  "
            << cformat("%0.2f %s  Dose %0.2f %s", vm, vmUnit.c_str(), vd, vdUnit.c_str());
        if (record.isSimulated()) {
            out << "  SIMULATED";
        } else {
            out << "  [" << UploadLog::text(uploads.statusOf(record)) << ']';
        }
        out << '\n';
    }
    // The totals are shown in single precision, as they are summed.
    double dose = static_cast<float>(RadiationHistoryMng::vdTotal());
    const std::string doseUnit = BitmapProcessor::getUnitOfVDValue(dose);
    double rate = static_cast<float>(RadiationHistoryMng::expostionMoyenne());
    const std::string rateUnit = BitmapProcessor::getUnitOfVMValue(rate);
    out << '\n'
        << cformat("Total dose = %0.2f %s\n", dose, doseUnit.c_str()) << "Total duration = "
        << AppUtils::stringHoursMinuteSecond(RadiationHistoryMng::timeTotal()) << '\n'
        << cformat("Mean exposure = %0.2f %s\n", rate, rateUnit.c_str())
        << cformat("Exposure limit for the public: 1 mSv a year, %0.3f μSv/h\n",
                   RadiationHistoryMng::expositionLimite());
}

std::vector<ExportRow> exportRows(const RadiationHistoryMng::RecordList& records) {
    std::vector<ExportRow> rows;
    rows.reserve(records.size());
    for (const auto& record : records) {
        rows.push_back(ExportRow::of(*record));
    }
    return rows;
}

void reportLeftOut(std::size_t leftOut, const char* format, std::ostream& err) {
    if (leftOut > 0) {
        err << "kesto history: " << leftOut
            << (leftOut == 1 ? " measurement has" : " measurements have")
            << " no known position and " << (leftOut == 1 ? "was" : "were") << " left out of the "
            << format << '\n';
    }
}

}  // namespace

void HistoryCommand::printHelp(std::ostream& out) {
    out << "Usage: kesto history [--data-dir D] [--simulated] [--json | --csv | --geojson | "
           "--kml]\n"
           "\n"
           "Lists the saved measurements, newest first: index, tag, start (UTC), duration,\n"
           "mean dose rate, dose and upload: [sent] when the collection server acknowledged\n"
           "it (HTTP 2xx), [failed] when it was sent but never acknowledged, [never sent];\n"
           "then the total dose, the total duration and the mean exposure rate. Uploads are\n"
           "read from uploads.jsonl in the data directory, matched to a measurement by its\n"
           "start date, device identifier and tag.\n"
           "\n"
           "Options:\n"
           "  --data-dir D   where radiationHistory.txt is (default $KESTO_DATA_DIR, else\n"
           "                 $XDG_DATA_HOME/kesto, else ~/.local/share/kesto)\n"
           "  --simulated    the measurements of the simulated sensor instead, kept apart\n"
           "                 in simulated/radiationHistory.txt and never uploaded\n"
           "                 Every record says whether the simulated sensor made it: the\n"
           "                 listing marks those SIMULATED wherever they are kept (records\n"
           "                 saved before records said it count as simulated in the\n"
           "                 simulated history only)\n"
           "  --json         one JSON object: records (tag, udid, startDate, stopDate,\n"
           "                 latitude, longitude, duration, vd, vm with its 95% interval\n"
           "                 vmLower95 and vmUpper95, events as [time, count], simulated,\n"
           "                 upload: \"sent\", \"failed\" or \"never sent\"), timeTotal,\n"
           "                 vdTotal, expostionMoyenne\n"
           "  --csv          a spreadsheet table (RFC 4180, UTF-8), one row per measurement:\n"
           "                 tag, start, stop (ISO 8601 UTC), duration, dose, mean dose rate\n"
           "                 with its 95% interval, events, latitude, longitude (empty when\n"
           "                 unknown), simulated\n"
           "  --geojson      the same as a GeoJSON FeatureCollection of points, for a map\n"
           "  --kml          the same as KML 2.2 placemarks, for a globe viewer\n"
           "                 The two map formats leave out measurements with no known\n"
           "                 position (0, 0 as saved) and say how many on standard error.\n"
           "\n"
           "Exit status: 0 when listed (no history file is an empty list), 1 when the\n"
           "history file cannot be read (it is left untouched), 2 for bad options.\n";
}

void HistoryCommand::declareOptions(CLI::App& app) {
    app.add_option("--data-dir", dataDirectory_)->type_name("D")->check(OptionChecks::notEmpty());
    app.add_flag("--simulated", simulated_);
    auto* json = app.add_flag("--json", json_);
    auto* csv = app.add_flag("--csv", csv_);
    auto* geoJson = app.add_flag("--geojson", geoJson_);
    auto* kml = app.add_flag("--kml", kml_);
    json->excludes(csv)->excludes(geoJson)->excludes(kml);
    csv->excludes(geoJson)->excludes(kml);
    geoJson->excludes(kml);
}

int HistoryCommand::run(std::ostream& out, std::ostream& err) {
    if (dataDirectory_) {
        RadiationHistoryMng::setDataDirectory(std::filesystem::path(*dataDirectory_));
    }
    RadiationHistoryMng::setSimulated(simulated_);
    RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal();
    if (RadiationHistoryMng::lastLoadState() == RadiationHistoryMng::LoadState::Unreadable) {
        err << "kesto history: " << unreadableHistoryReason() << '\n';
        return 1;
    }
    const RadiationHistoryMng::RecordList* list =
        RadiationHistoryMng::getRadiationHistoryRecordList();
    const RadiationHistoryMng::RecordList none;
    if (csv_) {
        CsvExport::write(exportRows(list ? *list : none), out);
    } else if (geoJson_) {
        reportLeftOut(GeoJsonExport::write(exportRows(list ? *list : none), out), "GeoJSON", err);
    } else if (kml_) {
        reportLeftOut(KmlExport::write(exportRows(list ? *list : none), simulated_, out), "KML",
                      err);
    } else if (json_) {
        const UploadLog::Outcomes uploads = UploadLog::read(RadiationHistoryMng::uploadLogPath());
        printJson(list ? *list : none, simulated_, uploads, out);
    } else {
        printText(list ? *list : none, simulated_,
                  UploadLog::read(RadiationHistoryMng::uploadLogPath()), out);
    }
    return 0;
}

}  // namespace kesto
