#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "collect/MultipartForm.h"
#include "engine/RadiationEvent.h"
#include "history/RadiationHistoryRecord.h"
#include "platform/Result.h"

namespace kesto {

// One measurement as a device uploaded it (the form of history/UploadForm.h),
// every field checked:
//   startDate, stopDate  Unix seconds ("%f"), after 1970-01-01 and before the
//                        year 10000, the stop not before the start; kept to
//                        the microsecond
//   udid                 at most 256 bytes of UTF-8 without control characters
//                        (may be empty: a device without a machine id)
//   tag                  at most 4 KiB of UTF-8 (may be empty)
//   latitude, longitude  degrees within ±90 and ±180; 0, 0 is "no position"
//   radiationEvents      "t|n|t|n..." with t ≥ 0 seconds and n a count ≥ 0
//                        (empty: no events)
// All seven must be there; other fields are ignored, so that a newer client
// can add one.
//
// A measurement is the same one as another when device, start (to the
// microsecond) and tag are; `digest` tells apart two different measurements
// that claim the same identity.
//
// Threads: a plain value; any thread.
struct UploadedMeasurement {
    static constexpr std::size_t kMaxUdidBytes = 256;
    static constexpr std::size_t kMaxTagBytes = 4096;

    std::string udid;
    std::string tag;
    std::int64_t startMicros = 0;  // µs since 1970-01-01 UTC
    std::int64_t stopMicros = 0;
    double latitude = 0.0;
    double longitude = 0.0;
    std::vector<RadiationEvent> events;

    static Result<UploadedMeasurement> fromFields(const std::vector<MultipartForm::Field>& fields);
    // The whole request: its Content-Type and body.
    static Result<UploadedMeasurement> fromForm(std::string_view contentType,
                                                std::string_view body);

    // The measurement as the history knows it: dose, rate and exports come
    // from it exactly as for `kesto history`.
    RadiationHistoryRecord record() const;
    bool hasPosition() const;
    std::int64_t hits() const;
    // FNV-1a over everything but the identity.
    std::uint64_t digest() const;

    bool operator==(const UploadedMeasurement&) const = default;
};

}  // namespace kesto
