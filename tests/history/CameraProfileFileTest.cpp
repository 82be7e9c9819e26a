#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "history/CameraProfileFile.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

CameraProfile sample() {
    CameraProfile p;
    p.identity = "/dev/video2";
    p.threshold = 117;
    p.lightLimit = 23.0;
    p.width = 64;
    p.height = 48;
    p.mask = {4, 900, 9215};
    p.statistics.frames = 300;
    p.statistics.darkLevel = {12.0, 7.2, 0.0, 24.0};
    p.statistics.frameAverage = {12.01, 0.004, 11.99, 12.02};
    p.statistics.valuesWithHits = 3;
    p.statistics.deviceThreshold = 100;
    p.statistics.deviceLightLimit = 20.0;
    p.statistics.falseEventsPerHour = 1.5e-7;
    return p;
}

TEST(CameraProfileFileTest, RoundTripsThroughAnAtomicWriteInItsOwnDirectory) {
    test::TemporaryDirectory data;
    const auto path = CameraProfileFile::path(data.path(), "_dev_video2.json");
    EXPECT_EQ(path, data.path() / "profiles" / "_dev_video2.json");
    const auto written = CameraProfileFile::write(path, sample());
    ASSERT_TRUE(written) << written.error();
    const auto back = CameraProfileFile::read(path);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(CameraProfileFile::encode(*back), CameraProfileFile::encode(sample()));
    EXPECT_EQ(std::tuple(back->threshold, back->lightLimit, back->mask),
              std::tuple(117, 23.0, std::vector<std::uint32_t>{4, 900, 9215}));
}

// Each bad profile is refused with a reason that names what is wrong.
TEST(CameraProfileFileTest, RefusesBadProfilesWithTheirReason) {
    const auto good = nlohmann::json::parse(CameraProfileFile::encode(sample()));
    const auto changed = [&good](const std::function<void(nlohmann::json&)>& change) {
        auto copy = good;
        change(copy);
        return copy.dump();
    };
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{ not json", "not a JSON object"},
        {"[1, 2]", "not a JSON object"},
        {changed([](auto& j) { j["format"] = 2; }), "format"},
        {changed([](auto& j) { j.erase("threshold"); }), "threshold is missing"},
        {changed([](auto& j) { j["threshold"] = "high"; }), "threshold is not a whole number"},
        {changed([](auto& j) { j["threshold"] = 300; }), "threshold 300"},
        {changed([](auto& j) { j["threshold"] = 0; }), "threshold 0 is not from 92"},
        {changed([](auto& j) { j["threshold"] = 1e12; }), "threshold"},
        {changed([](auto& j) { j["lightLimit"] = -4; }), "light limit"},
        {changed([](auto& j) { j["width"] = -64; }), "width is not a whole number from 0"},
        {changed([](auto& j) { j["height"] = 0; }), "frame size"},
        {changed([](auto& j) { j["width"] = 32; }), "mask index 9215 is outside a 32x48 frame"},
        {changed([](auto& j) {
             j["mask"] = {4, "x"};
         }),
         "not a channel value index"},
        {changed([](auto& j) { j["mask"] = {-1}; }), "not a channel value index"},
        {changed([](auto& j) {
             j["mask"] = {900, 4};
         }),
         "increasing order"},
        {changed([](auto& j) { j["mask"] = 4; }), "mask is not a list"},
        {changed([](auto& j) { j["statistics"].erase("darkLevel"); }), "statistics.darkLevel"},
        {changed([](auto& j) { j["statistics"]["frameAverage"]["sigma"] = nullptr; }),
         "statistics.frameAverage.sigma is not a number"},
    };
    for (const auto& [text, reason] : cases) {
        const auto decoded = CameraProfileFile::decode(text);
        ASSERT_FALSE(decoded) << text;
        EXPECT_NE(decoded.error().find(reason), std::string::npos)
            << reason << " / " << decoded.error();
    }
    const auto missing = CameraProfileFile::read("/nonexistent/profiles/sim.json");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().find("kesto calibrate"), std::string::npos) << missing.error();
}

// Only a regular file of bounded size is read: a FIFO is not waited on, a
// device or a huge file is not read without end.
TEST(CameraProfileFileTest, ReadsOnlyARegularFileOfBoundedSize) {
    test::TemporaryDirectory data;
    const auto fifo = data.path() / "fifo.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto zero = data.path() / "zero.json";
    std::filesystem::create_symlink("/dev/zero", zero);
    const auto huge = data.path() / "huge.json";
    std::ofstream(huge) << CameraProfileFile::encode(sample());
    std::filesystem::resize_file(huge, CameraProfileFile::kMaximumBytes + 1);
    for (const auto& [path, reason] :
         {std::pair{fifo, "not a regular file"}, std::pair{zero, "not a regular file"},
          std::pair{huge, "larger than"}}) {
        const auto read = CameraProfileFile::read(path);
        ASSERT_FALSE(read) << path;
        EXPECT_NE(read.error().find(reason), std::string::npos) << read.error();
    }
}

}  // namespace
}  // namespace kesto
