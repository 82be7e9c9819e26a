#include <algorithm>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include "engine/FrameScanner.h"

namespace kesto {
namespace {

// The fused copy and scan must copy every byte, write nothing beyond them,
// and count exactly what the byte-by-byte reference counts: for every length
// (vector tails and a trailing part pixel included), every start alignment
// and every threshold edge, with every SIMD variant of the build that this
// processor runs. The bright source has more than 255 vectors of hits, so
// byte-lane counters that wrapped would show.
TEST(FrameScannerTest, CopiesEveryByteAndCountsWhatTheReferenceCounts) {
    constexpr std::size_t kMax = 4 * 100000 + 3;
    std::mt19937 random(42);
    std::vector<std::uint8_t> noisy(kMax + 3);
    std::generate(noisy.begin(), noisy.end(), [&] { return static_cast<std::uint8_t>(random()); });
    std::vector<std::uint8_t> bright(kMax + 3, 255);
    constexpr auto lowest = std::numeric_limits<std::int32_t>::min();
    constexpr auto highest = std::numeric_limits<std::int32_t>::max();

    for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        for (const auto* source : {&noisy, &bright}) {
            for (std::size_t offset : {0u, 1u, 3u}) {
                for (std::size_t bytes : {0u, 3u, 4u, 60u, 64u, 67u, 124u, 128u, 132u, 1000u, 4099u,
                                          65536u, static_cast<unsigned>(kMax)}) {
                    for (std::int32_t seuil :
                         {lowest, -1, 0, 1, 99, 100, 101, 254, 255, 256, highest}) {
                        const std::uint8_t* in = source->data() + offset;
                        std::vector<std::uint8_t> copy(bytes + 64, 0xA5);
                        ScanTotals fast;
                        ScanTotals reference;
                        FrameScanner::copyAndScan(in, copy.data(), bytes, seuil, fast);
                        FrameScanner::scanReference(in, bytes, seuil, reference);
                        SCOPED_TRACE(testing::Message()
                                     << hwy::TargetName(target) << ": " << bytes << " bytes at +"
                                     << offset << ", seuil " << seuil);
                        EXPECT_EQ(fast.sum, reference.sum);
                        EXPECT_EQ(fast.hits, reference.hits);
                        EXPECT_EQ(fast.max, reference.max);
                        EXPECT_TRUE(std::equal(in, in + bytes, copy.begin()));
                        EXPECT_TRUE(std::all_of(copy.begin() + static_cast<std::ptrdiff_t>(bytes),
                                                copy.end(),
                                                [](std::uint8_t b) { return b == 0xA5; }));
                    }
                }
            }
        }
    }
    hwy::SetSupportedTargetsForTest(0);
}

}  // namespace
}  // namespace kesto
