#pragma once

#include <cstddef>
#include <cstdint>

namespace kesto {

// The running totals of one frame scan over the blue, green and red bytes of
// BGRA pixels; alpha never counts.
struct ScanTotals {
    std::uint64_t sum = 0;   // sum of the examined channel values
    std::uint64_t hits = 0;  // examined values strictly above the threshold
    std::uint8_t max = 0;    // largest examined value
};

// The inner loop of frame analysis: SIMD, chosen at run time for the
// processor it runs on (the build itself stays portable).
class FrameScanner {
  public:
    // Adds `byteCount` bytes of whole BGRA pixels (a multiple of 4) to `totals`.
    static void scan(const std::uint8_t* pixels, std::size_t byteCount, std::int32_t seuil,
                     ScanTotals& totals);
    // The same, one byte at a time: the reference the fast path must match.
    static void scanReference(const std::uint8_t* pixels, std::size_t byteCount, std::int32_t seuil,
                              ScanTotals& totals);
};

}  // namespace kesto
