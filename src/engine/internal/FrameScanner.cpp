// Compiled once per SIMD target by Highway; the HWY_ONCE part below picks
// the best one for the running processor.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "engine/internal/FrameScanner.cpp"
#include "engine/internal/FrameScanner.h"

#include <algorithm>

#include <hwy/foreach_target.h>  // must precede highway.h
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace kesto {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// `threshold` is the detection threshold clamped to 0..255: a value v is a
// hit when v - threshold (saturating) is non-zero. Masked alpha bytes are 0
// and so never hit.
void CopyAndScanPixels(const std::uint8_t* HWY_RESTRICT source, std::uint8_t* HWY_RESTRICT copy,
                       std::size_t byteCount, std::uint8_t threshold,
                       ScanTotals* HWY_RESTRICT totals) {
    const hn::ScalableTag<std::uint8_t> d8;
    const hn::Repartition<std::uint32_t, decltype(d8)> d32;
    const hn::Repartition<std::uint64_t, decltype(d8)> d64;
    const std::size_t lanes = hn::Lanes(d8);

    const auto colourMask = hn::BitCast(d8, hn::Set(d32, 0x00FFFFFFu));
    const auto thresholdVec = hn::Set(d8, threshold);
    const auto one = hn::Set(d8, 1);
    auto sum = hn::Zero(d64);
    auto hits = hn::Zero(d64);
    auto maxVec = hn::Zero(d8);

    // Hit flags add up in byte lanes for at most 255 vectors before they are
    // widened, which keeps the loop at one widening sum per vector. A vector
    // narrower than a pixel (the scalar fallback) cannot hold the alpha mask:
    // there the byte loop below does all the work.
    const std::size_t vectorBytes = lanes >= 4 ? byteCount - byteCount % lanes : 0;
    std::size_t i = 0;
    while (i < vectorBytes) {
        auto hitBytes = hn::Zero(d8);
        const std::size_t blockEnd = std::min(vectorBytes, i + 255 * lanes);
        for (; i < blockEnd; i += lanes) {
            const auto raw = hn::LoadU(d8, source + i);
            hn::StoreU(raw, d8, copy + i);
            const auto v = hn::And(raw, colourMask);
            sum = hn::Add(sum, hn::SumsOf8(v));
            maxVec = hn::Max(maxVec, v);
            hitBytes = hn::Add(hitBytes, hn::Min(hn::SaturatedSub(v, thresholdVec), one));
        }
        hits = hn::Add(hits, hn::SumsOf8(hitBytes));
    }

    HWY_ALIGN std::uint64_t sumLanes[HWY_MAX_BYTES / 8];
    HWY_ALIGN std::uint64_t hitLanes[HWY_MAX_BYTES / 8];
    HWY_ALIGN std::uint8_t maxLanes[HWY_MAX_BYTES];
    hn::Store(sum, d64, sumLanes);
    hn::Store(hits, d64, hitLanes);
    hn::Store(maxVec, d8, maxLanes);
    for (std::size_t k = 0; k < hn::Lanes(d64); ++k) {
        totals->sum += sumLanes[k];
        totals->hits += hitLanes[k];
    }
    for (std::size_t k = 0; k < lanes; ++k) {
        totals->max = std::max(totals->max, maxLanes[k]);
    }

    // The bytes that fill no whole vector: all are copied, whole pixels counted.
    std::copy(source + i, source + byteCount, copy + i);
    for (; i + 4 <= byteCount; i += 4) {
        for (std::size_t c = 0; c < 3; ++c) {
            const std::uint8_t v = source[i + c];
            totals->sum += v;
            totals->hits += v > threshold ? 1 : 0;
            totals->max = std::max(totals->max, v);
        }
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace kesto
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kesto {

HWY_EXPORT(CopyAndScanPixels);

void FrameScanner::copyAndScan(const std::uint8_t* source, std::uint8_t* copy,
                               std::size_t byteCount, std::int32_t seuil, ScanTotals& totals) {
    if (seuil < 0) {
        // Every examined value is a hit: scan for sum and maximum only.
        ScanTotals part;
        HWY_DYNAMIC_DISPATCH(CopyAndScanPixels)(source, copy, byteCount, 255, &part);
        totals.sum += part.sum;
        totals.hits += (byteCount / 4) * 3;
        totals.max = std::max(totals.max, part.max);
        return;
    }
    const auto threshold = static_cast<std::uint8_t>(seuil > 255 ? 255 : seuil);
    HWY_DYNAMIC_DISPATCH(CopyAndScanPixels)(source, copy, byteCount, threshold, &totals);
}

void FrameScanner::scanReference(const std::uint8_t* pixels, std::size_t byteCount,
                                 std::int32_t seuil, ScanTotals& totals) {
    for (std::size_t i = 0; i + 4 <= byteCount; i += 4) {
        for (std::size_t c = 0; c < 3; ++c) {
            const std::uint8_t v = pixels[i + c];
            totals.sum += v;
            if (static_cast<std::int32_t>(v) > seuil) {
                ++totals.hits;
            }
            if (v > totals.max) {
                totals.max = v;
            }
        }
    }
}

}  // namespace kesto
#endif  // HWY_ONCE
