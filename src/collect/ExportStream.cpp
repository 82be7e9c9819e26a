#include "collect/ExportStream.h"

#include <limits>
#include <sstream>

#include "history/export/CsvExport.h"
#include "history/export/GeoJsonExport.h"

namespace kesto {

ExportStream::ExportStream(MeasurementStore& store, MeasurementFilter filter, Format format)
    : store_(store),
      filter_(std::move(filter)),
      format_(format),
      remaining_(filter_.limit == 0 ? std::numeric_limits<std::size_t>::max() : filter_.limit) {
    filter_.byStart = false;
    filter_.descending = false;
}

const char* ExportStream::contentType(Format format) {
    return format == Format::Csv ? "text/csv; charset=utf-8; header=present"
                                 : "application/geo+json";
}

Result<bool> ExportStream::next(std::string& out) {
    if (finished_) {
        return false;
    }
    std::ostringstream piece;
    if (!started_) {
        started_ = true;
        if (format_ == Format::Csv) {
            CsvExport::writeHeader(piece, true);
        } else {
            piece << GeoJsonExport::kOpening;
        }
    }
    MeasurementFilter page = filter_;
    page.limit = std::min(kPageRows, remaining_);
    std::size_t rows = 0;
    const Result<void> read = store_.forEach(page, [&](const MeasurementRow& row) {
        ++rows;
        filter_.afterId = row.id;
        const ExportRow exported = row.exportRow();
        if (format_ == Format::Csv) {
            CsvExport::writeRow(exported, piece, &row.udid);
        } else if (GeoJsonExport::writeFeature(exported, firstFeature_, piece, &row.udid)) {
            firstFeature_ = false;
        }
        return true;
    });
    if (!read) {
        finished_ = true;
        return read.failure();
    }
    remaining_ -= rows;
    if (rows < page.limit || remaining_ == 0) {
        finished_ = true;
        if (format_ == Format::GeoJson) {
            piece << GeoJsonExport::kClosing;
        }
    }
    out += piece.str();
    return true;
}

}  // namespace kesto
