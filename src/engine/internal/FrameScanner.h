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
    // Copies `byteCount` bytes from `source` to `copy` and adds the whole BGRA
    // pixels among them to `totals`, in one pass: each byte is loaded once,
    // stored and counted while it is in a register. The ranges must not overlap.
    static void copyAndScan(const std::uint8_t* source, std::uint8_t* copy, std::size_t byteCount,
                            std::int32_t seuil, ScanTotals& totals);
    // The scan alone, one byte at a time: the reference the fast path must match.
    static void scanReference(const std::uint8_t* pixels, std::size_t byteCount, std::int32_t seuil,
                              ScanTotals& totals);
};

}  // namespace kesto
