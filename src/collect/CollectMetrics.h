#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "collect/MeasurementStore.h"
#include "platform/Result.h"

namespace kesto {

// The collection server's figures in the Prometheus text format (0.0.4),
// for GET /metrics:
//
//   kesto_collect_measurements                 measurements stored
//   kesto_collect_devices                      devices that uploaded
//   kesto_collect_uploads_total{outcome}       uploads since start: "stored",
//                                              "duplicate", "conflict",
//                                              "refused" (a bad form, 400),
//                                              "limited" (429), "failed" (503)
//   kesto_collect_device_dose_rate_microsieverts_per_hour{device}
//                                              each device's latest measurement's
//                                              mean dose rate, with _lower and _upper
//                                              95% bounds
//   kesto_collect_device_measurements{device}
//   kesto_collect_device_last_upload_timestamp_seconds{device}
//
// Threads: count() from any thread; render() from any thread (reads the store).
class CollectMetrics {
  public:
    enum class Upload { Stored, Duplicate, Conflict, Refused, Limited, Failed };
    static constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";

    void count(Upload outcome);
    Result<std::string> render(MeasurementStore& store) const;

  private:
    std::atomic<std::uint64_t> uploads_[6] = {};
};

}  // namespace kesto
