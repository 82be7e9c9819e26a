#include <random>

#include <gtest/gtest.h>

#include "engine/BitmapProcessor.h"
#include "engine/CameraProfile.h"
#include "engine/DarkFrameCalibration.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

using test::TestFrame;

CameraProfile profileOf(std::size_t width, std::size_t height, std::vector<std::uint32_t> mask) {
    CameraProfile profile;
    profile.threshold = 100;
    profile.lightLimit = 20.0;
    profile.width = width;
    profile.height = height;
    profile.mask = std::move(mask);
    return profile;
}

// Masked values leave the hits, the average and the maximum, wherever they
// sit: first and last value, two channels of one pixel, neighbours, padded
// rows; the figures must equal a plain count over the other values.
TEST(CameraProfileTest, MaskedValuesEnterNeitherHitsNorAverageNorMaximum) {
    struct Case {
        std::size_t width, height, padding;
        std::vector<std::uint32_t> mask;
    };
    const std::vector<Case> cases = {
        {64, 9, 0, {0}},
        {64, 9, 0, {64 * 9 * 3 - 1}},
        {64, 9, 0, {3, 4, 5, 6, 100, 1000}},
        {37, 5, 12, {0, 2, 110, 111, 300, 37 * 5 * 3 - 1}},
        {3, 2, 4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}},
    };
    std::mt19937 random(3);
    for (const auto& c : cases) {
        TestFrame frame(c.width, c.height, c.padding);
        std::size_t hits = 0, counted = 0;
        std::uint64_t sum = 0;
        std::uint8_t max = 0;
        for (std::size_t i = 0; i < c.width * c.height * 3; ++i) {
            // Masked values are the brightest, so any leak shows.
            const bool masked = std::binary_search(c.mask.begin(), c.mask.end(), i);
            const auto v = static_cast<std::uint8_t>(masked ? 255 : random() % 200);
            frame.pixel(i / 3 % c.width, i / 3 / c.width)[i % 3] = v;
            if (!masked) {
                ++counted;
                sum += v;
                hits += v > 100 ? 1 : 0;
                max = std::max(max, v);
            }
        }
        auto engine = BitmapProcessor::create(profileOf(c.width, c.height, c.mask));
        engine->startAcquisition();
        engine->processBitmap({frame.bytes.data(), frame.width, frame.height, frame.bytesPerRow},
                              0.0);
        const auto label = testing::Message() << c.width << "x" << c.height << " padding "
                                              << c.padding << ", " << c.mask.size() << " masked";
        EXPECT_EQ(engine->cumulatedParticules(), static_cast<std::int32_t>(hits)) << label;
        EXPECT_EQ(engine->max(), counted > 0 ? max : 0) << label;
        EXPECT_DOUBLE_EQ(
            engine->avg(),
            counted > 0 ? static_cast<double>(sum) / static_cast<double>(counted) : 0.0)
            << label;
    }
}

// Another camera's threshold and hot pixels would make up hits: a frame of
// another size than the profile's is not analysed at all, masked or not.
TEST(CameraProfileTest, AFrameOfAnotherSizeIsRefusedAndSaysSo) {
    test::ConsoleCapture console;
    for (const auto& mask : {std::vector<std::uint32_t>{0}, std::vector<std::uint32_t>{}}) {
        auto engine = BitmapProcessor::create(profileOf(8, 8, mask));
        EXPECT_EQ(std::tuple(engine->seuil(), engine->seuilSigma(), engine->maskedValues()),
                  std::tuple(100, 20.0f, mask.size()));
        engine->startAcquisition();
        TestFrame frame(4, 4, 0, 250);
        engine->processBitmap({frame.bytes.data(), 4, 4, 16}, 0.0);
        EXPECT_EQ(std::tuple(engine->nbEventDetected(), engine->max()), std::tuple(0, 0));
    }
    EXPECT_EQ(console.count("Frames refused: the camera profile is for 8 \u00D7 8 frames"), 2U);
}

TEST(CameraProfileTest, ValidationRefusesFiguresThatCannotBeUsed) {
    const std::vector<std::pair<CameraProfile, std::string>> cases = {
        {profileOf(0, 8, {}), "frame size"},
        {profileOf(8, 9000, {}), "frame size"},
        {profileOf(2, 2, {12}), "outside a 2x2 frame"},
        {profileOf(2, 2, {3, 3}), "increasing order"},
        {profileOf(2, 2, {5, 1}), "increasing order"},
        {[] {
             auto p = profileOf(2, 2, {});
             p.threshold = 255;
             return p;
         }(),
         "threshold 255"},
        {[] {
             auto p = profileOf(2, 2, {});
             p.threshold = 91;
             return p;
         }(),
         "threshold 91 is not from 92"},
        {[] {
             auto p = profileOf(2, 2, {});
             p.lightLimit = -1.0;
             return p;
         }(),
         "light limit"},
    };
    for (const auto& [profile, reason] : cases) {
        const auto valid = profile.validate();
        ASSERT_FALSE(valid) << reason;
        EXPECT_NE(valid.error().find(reason), std::string::npos) << valid.error();
    }
    EXPECT_TRUE(profileOf(2, 2, {0, 11}).validate());
}

// The fitted tail: at μ + 6σ a single value is out with probability about
// 1e-9, so a million values at ten frames a second give some 36 false
// events an hour; a threshold below the mean gives one in every frame.
TEST(CameraProfileTest, FalseEventsFollowTheNormalTail) {
    EXPECT_NEAR(DarkFrameCalibration::falseEventsPerHour(60, 0.0, 10.0, 1e6, 10.0),
                36000 * 1e6 * 0.5 * std::erfc(60.5 / 10.0 / std::sqrt(2.0)), 0.5);
    EXPECT_NEAR(DarkFrameCalibration::falseEventsPerHour(5, 10.0, 2.0, 1e4, 10.0), 36000.0, 1e-6);
    EXPECT_EQ(DarkFrameCalibration::falseEventsPerHour(10, 5.0, 0.0, 1e4, 10.0), 0.0);
}

}  // namespace
}  // namespace kesto
