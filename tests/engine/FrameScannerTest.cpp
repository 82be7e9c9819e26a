#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "engine/FrameScanner.h"

namespace kesto {
namespace {

// The vector path must give exactly what the byte-by-byte reference gives,
// for every length (tails included) and every threshold, odd ones included.
TEST(FrameScannerTest, MatchesTheReferenceScanForAnyLengthAndThreshold) {
    std::mt19937 random(42);
    std::uniform_int_distribution<int> byte(0, 255);
    for (size_t pixels : {0u, 1u, 3u, 7u, 8u, 15u, 16u, 17u, 63u, 64u, 65u, 1000u, 20000u}) {
        std::vector<std::uint8_t> bytes(pixels * 4);
        for (auto& b : bytes) {
            b = static_cast<std::uint8_t>(byte(random));
        }
        for (std::int32_t seuil : {-5, 0, 1, 92, 100, 200, 254, 255, 256, 1000}) {
            ScanTotals fast, reference;
            FrameScanner::scan(bytes.data(), bytes.size(), seuil, fast);
            FrameScanner::scanReference(bytes.data(), bytes.size(), seuil, reference);
            EXPECT_EQ(fast.sum, reference.sum) << pixels << " pixels, seuil " << seuil;
            EXPECT_EQ(fast.hits, reference.hits) << pixels << " pixels, seuil " << seuil;
            EXPECT_EQ(fast.max, reference.max) << pixels << " pixels, seuil " << seuil;
        }
    }
}

TEST(FrameScannerTest, CountsHitsBeyondTheByteCounterWindow) {
    // More than 255 vectors of all-hit bytes: the byte-lane counters must be
    // widened before they wrap.
    std::vector<std::uint8_t> bytes(4 * 100000, 255);
    ScanTotals totals;
    FrameScanner::scan(bytes.data(), bytes.size(), 100, totals);
    EXPECT_EQ(totals.hits, 300000u);
    EXPECT_EQ(totals.sum, 300000u * 255u);
    EXPECT_EQ(totals.max, 255);
}

}  // namespace
}  // namespace kesto
