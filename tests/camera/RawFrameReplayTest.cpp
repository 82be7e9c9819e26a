#include <fstream>

#include <gtest/gtest.h>

#include "camera/internal/RawFrameReplay.h"
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
        EXPECT_EQ(std::tuple(frame->width, frame->height, frame->bytesPerRow),
                  std::tuple(2u, 1u, 12u));
        firsts.push_back(frame->baseAddress[0]);
    }
    return firsts;
}

TEST(RawFrameReplayTest, ReplaysInNameOrderSkipsWrongSizesAndEndsOrLoops) {
    TemporaryDirectory dir;
    write(dir.path() / "frame-2", std::vector<std::uint8_t>(12, 2));
    write(dir.path() / "frame-1", std::vector<std::uint8_t>(12, 1));
    write(dir.path() / "frame-1b", std::vector<std::uint8_t>(11, 9));  // too short
    write(dir.path() / "frame-3", std::vector<std::uint8_t>(12, 3));
    std::filesystem::create_directory(dir.path() / "frame-0-folder");
    for (const bool loop : {false, true}) {
        ConsoleCapture console;
        RawFrameReplay source(dir.path(), 2, 1, 12, loop);
        const std::vector<int> expected =
            loop ? std::vector<int>{1, 2, 3, 1, 2, 3, 1} : std::vector<int>{1, 2, 3};
        EXPECT_EQ(replay(source, 7), expected);
        std::vector<std::uint8_t> buffer;
        EXPECT_EQ(source.nextFrame(buffer).has_value(), loop);
        // Each bad file is reported once, however often the replay goes round.
        EXPECT_EQ(console.count("frame-1b skipped: 11 bytes, a frame is 12 bytes"), 1u);
        EXPECT_EQ(console.count(loop ? "starting over" : "after 3 frames; no more frames"), 1u);
    }
}

TEST(RawFrameReplayTest, ADirectoryWithoutAGoodFrameEndsEvenWhenLooping) {
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
