#include <algorithm>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include "engine/internal/FrameScanner.h"

namespace kesto {
namespace {

// Against the byte-by-byte reference, on every SIMD variant this processor
// runs; the bright source has enough hits to wrap byte-lane counters.
TEST(FrameScannerTest, CopiesEveryByteAndCountsWhatTheReferenceCounts) {
    constexpr std::size_t kMax = 4 * 100000 + 3;
    std::mt19937 random(42);
    std::vector<std::uint8_t> noisy(kMax + 3);
    std::generate(noisy.begin(), noisy.end(), [&] { return static_cast<std::uint8_t>(random()); });
    std::vector<std::uint8_t> bright(kMax + 3, 255);
    using Limits = std::numeric_limits<std::int32_t>;
    for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        for (const auto* source : {&noisy, &bright}) {
            for (std::size_t offset : {0u, 1u, 3u}) {
                for (std::size_t bytes : {0u, 3u, 4u, 60u, 64u, 67u, 124u, 128u, 132u, 1000u, 4099u,
                                          65536u, static_cast<unsigned>(kMax)}) {
                    for (std::int32_t seuil :
                         {Limits::min(), -1, 0, 1, 99, 100, 101, 254, 255, 256, Limits::max()}) {
                        const std::uint8_t* in = source->data() + offset;
                        std::vector<std::uint8_t> copy(bytes + 64, 0xA5);
                        ScanTotals fast, reference;
                        FrameScanner::copyAndScan(in, copy.data(), bytes, seuil, fast);
                        FrameScanner::scanReference(in, bytes, seuil, reference);
                        SCOPED_TRACE(testing::Message()
                                     << hwy::TargetName(target) << ": " << bytes << " bytes at +"
                                     << offset << ", seuil " << seuil);
                        EXPECT_EQ(std::tuple(fast.sum, fast.hits, fast.max),
                                  std::tuple(reference.sum, reference.hits, reference.max));
                        EXPECT_TRUE(std::equal(in, in + bytes, copy.begin()));
                        copy.erase(copy.begin(), copy.begin() + static_cast<std::ptrdiff_t>(bytes));
                        EXPECT_EQ(copy, std::vector<std::uint8_t>(64, 0xA5));
                    }
                }
            }
        }
    }
    hwy::SetSupportedTargetsForTest(0);
}

}  // namespace
}  // namespace kesto
