#include <filesystem>

#include <gtest/gtest.h>

#include "camera/RawBM.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

using test::ConsoleCapture;
using test::TemporaryDirectory;

TEST(RawBMTest, FileNamesFromTitles) {
    EXPECT_EQ(RawBM::fileNameForTitle("12:30:05"), "12.30.05");
    EXPECT_EQ(RawBM::fileNameForTitle("a+bcdefgh"), "agh");
    EXPECT_EQ(RawBM::fileNameForTitle("2011-03-13 07:06:40 +0000 frame"),
              "2011-03-13 07.06.40 frame");
    EXPECT_EQ(RawBM::fileNameForTitle("ab+cd"), "ab");         // fewer than five after "+"
    EXPECT_EQ(RawBM::fileNameForTitle("a+b+cdefgh"), "afgh");  // only the first "+"
}

TEST(RawBMTest, WritesExactlyTheBytesCopiedAtConstructionAndOverwrites) {
    TemporaryDirectory dir;
    ConsoleCapture console;
    std::vector<std::uint8_t> source = {1, 2, 3, 0, 255};
    RawBM dump(source.data(), 5, "12:30:05");
    source[0] = 99;  // the dump kept its own copy
    RawBM(source.data(), 5, "12:30:05").save(dir.path().string());
    dump.save(dir.path().string() + "/");
    EXPECT_EQ(test::readFileBytes(dir.path() / "12.30.05"),
              (std::vector<std::uint8_t>{1, 2, 3, 0, 255}));
    EXPECT_EQ(console.count("Image saved ("), 2u);

    RawBM(nullptr, 0, "empty").save(dir.path().string());
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "empty"));
    EXPECT_EQ(std::filesystem::file_size(dir.path() / "empty"), 0u);
}

TEST(RawBMTest, RefusesTitlesItCannotWriteSafelyWithOneLineEach) {
    TemporaryDirectory dir;
    ConsoleCapture console;
    const std::uint8_t byte = 7;
    RawBM(&byte, 1, "caf\xC3\xA9").save(dir.path().string());
    RawBM(&byte, 1, "../escape").save(dir.path().string());
    RawBM(&byte, 1, "+abcde").save(dir.path().string());
    RawBM(&byte, 1, "frame").save((dir.path() / "missing").string());
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_FALSE(std::filesystem::exists(dir.path().parent_path() / "escape"));
    EXPECT_EQ(console.count("Image not saved"), 4u);
    EXPECT_EQ(console.count("Image saved"), 0u);
}

}  // namespace
}  // namespace kesto
