#include <gtest/gtest.h>

#include "camera/SensorSpec.h"

namespace kesto {
namespace {

SensorSpec parsed(const std::string& text) {
    auto spec = SensorSpec::parse(text);
    EXPECT_TRUE(spec) << text << ": " << spec.error();
    return spec.value_or(SensorSpec{});
}

TEST(SensorSpecTest, ReadsEveryKindWithItsOptions) {
    EXPECT_EQ(SensorSpec{}.kind, SensorSpec::Kind::Camera);  // nothing made up unless asked for
    EXPECT_EQ(parsed("sim").kind, SensorSpec::Kind::Simulated);
    const auto sim = parsed("sim:rate=20.5,seed=18446744073709551615,lens=open,size=64x48");
    EXPECT_EQ(std::tuple(sim.rate, sim.seed, sim.lensOpen, sim.width, sim.height),
              std::tuple(20.5, std::optional<std::uint64_t>(18446744073709551615ull), true,
                         std::size_t{64}, std::size_t{48}));
    EXPECT_EQ(std::tuple(sim.hotPixels, sim.darkLevel), std::tuple(0u, 5u));  // defaults
    const auto noisy = parsed("sim:hot=8,noise=12,hotseed=3,frames=30");
    EXPECT_EQ(
        std::tuple(noisy.hotPixels, noisy.darkLevel, noisy.hotSeed, noisy.frames),
        std::tuple(8u, 12u, std::optional<std::uint64_t>(3), std::optional<std::uint64_t>(30)));

    EXPECT_EQ(parsed("camera:2").device, "/dev/video2");
    EXPECT_EQ(parsed("camera:/dev/v4l/by-id/usb-cam_0-video-index0").device,
              "/dev/v4l/by-id/usb-cam_0-video-index0");

    const auto raw = parsed("raw:/tmp/frames,width=160,height=120,bytes-per-row=656,loop");
    EXPECT_EQ(std::tuple(raw.kind, raw.directory, raw.width, raw.height, raw.rowBytes(), raw.loop),
              std::tuple(SensorSpec::Kind::Raw, "/tmp/frames", 160u, 120u, 656u, true));

    const auto gst = parsed("gst:videotestsrc pattern=black ! video/x-raw,width=8,height=8");
    EXPECT_EQ(gst.kind, SensorSpec::Kind::Pipeline);
    EXPECT_EQ(gst.pipeline, "videotestsrc pattern=black ! video/x-raw,width=8,height=8");
}

TEST(SensorSpecTest, RefusesMistakesWithAReason) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"webcam", "unknown sensor"},
        {"sim:rate=nan", "rate must be"},
        {"sim:rate=100001", "rate must be"},
        {"sim:rate=1,5", "unknown option"},
        {"sim:rate=1,,seed=2", "empty option"},
        {"sim:rate=1,rate=2", "given twice"},
        {"sim:seed=-3", "seed must be"},
        {"sim:lens=half", "lens must be"},
        {"sim:size=640", "size must be"},
        {"sim:size=9000x10", "size must be"},
        {"sim:colour=red", "unknown option"},
        {"sim:hot=-1", "hot must be"},
        {"sim:hot=10001", "hot must be"},
        {"sim:noise=101", "noise must be"},
        {"sim:frames=some", "frames must be"},
        {"camera:video0", "DEVICE must be"},
        {"camera:/dev/video0 ! fakesink", "DEVICE must be"},
        {"raw:", "directory is required"},
        {"raw:d,width=0", "width must be"},
        {"raw:d,width=4,bytes-per-row=15", "at least 4 \u00D7 width"},
        {"raw:d,loop=yes", "takes no value"},
        {"gst:   ", "description is required"},
    };
    for (const auto& [text, reason] : cases) {
        const auto spec = SensorSpec::parse(text);
        ASSERT_FALSE(spec) << text;
        EXPECT_NE(spec.error().find(reason), std::string::npos)
            << text << " gave: " << spec.error();
    }
}

}  // namespace
}  // namespace kesto
