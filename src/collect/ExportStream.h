#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "collect/MeasurementStore.h"
#include "platform/Result.h"

namespace kesto {

// A CSV or GeoJSON export of stored measurements, made a page at a time as
// the client takes it, so that a million rows never sit in memory: the
// columns of `kesto history --csv` / `--geojson` and a last one naming the
// device. Pages follow the id order, so rows stored during the export are
// either in it whole or not at all.
//
// Threads: one thread at a time; the store is any thread's.
class ExportStream {
  public:
    enum class Format { Csv, GeoJson };
    static constexpr std::size_t kPageRows = 1000;

    ExportStream(MeasurementStore& store, MeasurementFilter filter, Format format);

    static const char* contentType(Format format);
    // Appends the next piece to `out`; false when the export was complete
    // before this call (nothing appended).
    Result<bool> next(std::string& out);

  private:
    MeasurementStore& store_;
    MeasurementFilter filter_;
    Format format_;
    std::size_t remaining_;  // rows the client's limit still allows
    bool started_ = false;
    bool finished_ = false;
    bool firstFeature_ = true;
};

}  // namespace kesto
