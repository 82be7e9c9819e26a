#include <fstream>

#include <gtest/gtest.h>

#include "camera/RawFrameReplay.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

using test::ConsoleCapture;
using test::TemporaryDirectory;

void write(const std::filesystem::path& file, std::vector<std::uint8_t> bytes) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// The first byte of each frame replayed, until the replay ends or `limit`.
std::vector<int> replay(RawFrameReplay& source, int limit) {
    std::vector<int> firsts;
    std::vector<std::uint8_t> buffer;
    source.sessionStarted();
    while (static_cast<int>(firsts.size()) < limit) {
        auto frame = source.nextFrame(buffer);
        if (!frame) {
            break;
        }
        EXPECT_EQ(frame->width, 2u);
        EXPECT_EQ(frame->height, 1u);
        EXPECT_EQ(frame->bytesPerRow, 12u);
        firsts.push_back(frame->baseAddress[0]);
    }
    return firsts;
}

class RawFrameReplayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        write(dir_.path() / "frame-2", std::vector<std::uint8_t>(12, 2));
        write(dir_.path() / "frame-1", std::vector<std::uint8_t>(12, 1));
        write(dir_.path() / "frame-1b", std::vector<std::uint8_t>(11, 9));  // too short
        write(dir_.path() / "frame-3", std::vector<std::uint8_t>(12, 3));
        std::filesystem::create_directory(dir_.path() / "frame-0-folder");
    }
    TemporaryDirectory dir_;
};

TEST_F(RawFrameReplayTest, ReplaysInNameOrderSkipsWrongSizesAndStopsAtTheEnd) {
    ConsoleCapture console;
    RawFrameReplay source(dir_.path(), 2, 1, 12, false);
    EXPECT_EQ(replay(source, 100), (std::vector<int>{1, 2, 3}));
    std::vector<std::uint8_t> buffer;
    EXPECT_FALSE(source.nextFrame(buffer).has_value());
    EXPECT_TRUE(console.contains("Raw replay: 4 files in "));
    EXPECT_EQ(console.count("frame-1b skipped: 11 bytes, a frame is 12 bytes"), 1u);
    EXPECT_EQ(console.count("after 3 frames; no more frames"), 1u);
}

TEST_F(RawFrameReplayTest, LoopingStartsOverAndStillReportsEachBadFileOnce) {
    ConsoleCapture console;
    RawFrameReplay source(dir_.path(), 2, 1, 12, true);
    EXPECT_EQ(replay(source, 7), (std::vector<int>{1, 2, 3, 1, 2, 3, 1}));
    EXPECT_EQ(console.count("frame-1b skipped"), 1u);
    EXPECT_EQ(console.count("starting over"), 1u);
}

TEST(RawFrameReplayEmptyTest, ADirectoryWithoutAGoodFrameEndsEvenWhenLooping) {
    TemporaryDirectory dir;
    write(dir.path() / "bad", std::vector<std::uint8_t>(5, 0));
    ConsoleCapture console;
    RawFrameReplay source(dir.path(), 2, 1, 12, true);
    EXPECT_TRUE(replay(source, 10).empty());
    RawFrameReplay missing(dir.path() / "absent", 2, 1, 12, true);
    EXPECT_TRUE(replay(missing, 10).empty());
    EXPECT_EQ(console.count("no more frames"), 2u);
}

}  // namespace
}  // namespace kesto
