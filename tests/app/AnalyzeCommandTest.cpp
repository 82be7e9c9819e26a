#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/AnalyzeCommand.h"
#include "app/CommandLine.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

class AnalyzeCommandTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("KESTO_MACHINE", "iPhone3,1", 1); }  // light limit 30
    void TearDown() override { unsetenv("KESTO_MACHINE"); }

    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const auto path = (dir.path() / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
        return path;
    }
    int run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        args.insert(args.begin(), "analyze");
        return CommandLine::run(args, out, err);
    }

    test::TemporaryDirectory dir;
    test::ConsoleCapture console;
    std::ostringstream out, err;
};

// The dark frame reads light on a machine whose limit is 20: the machine's
// own limit is the one used, and padded rows are read as such.
TEST_F(AnalyzeCommandTest, ReportsWhatTheEngineSawInEachFile) {
    test::TestFrame dark(4, 2, 4, 9, 9, 9);
    dark.setPixel(1, 1, 200, 150, 0);
    test::TestFrame light(4, 2, 4, 90, 90, 90);
    const auto darkPath = write("dark.raw", dark.bytes);
    const auto lightPath = write("light.raw", light.bytes);

    EXPECT_EQ(run({"--width=4", "--height=2", "--bytes-per-row=20", "--json", darkPath, lightPath}),
              0);
    std::istringstream lines(out.str());
    std::string first, second;
    std::getline(std::getline(lines, first), second);
    auto expected =
        nlohmann::json::parse(R"({"hits": 2, "max": 200, "event": true, "light": false})");
    expected["file"] = darkPath;
    expected["average"] = (9.0 * 21 + 350) / 24.0;
    EXPECT_EQ(nlohmann::json::parse(first), expected);
    EXPECT_EQ(nlohmann::json::parse(second)["light"], true);
}

// Only a regular file of one frame's size is read: nothing else blocks,
// fills memory or aborts, and each gets its own line.
TEST_F(AnalyzeCommandTest, AnythingButAFrameSizedRegularFileIsReportedAndSkipped) {
    const auto fifo = dir.path() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<std::string, std::string> cases[] = {
        // file, problem
        {fifo.string(), ": a FIFO, not a frame file\n"},
        {"/dev/zero", ": a character device, not a frame file\n"},
        {write("long.raw", std::vector<std::uint8_t>(33)), ": 33 bytes, but a frame is 32 bytes\n"},
        {(dir.path() / "none.raw").string(), ": cannot be read (No such file or directory)\n"},
    };
    const auto good = write("good.raw", test::TestFrame(4, 2).bytes);
    for (const auto& [path, problem] : cases) {
        EXPECT_EQ(run({"--width", "4", "--height", "2", path, good}), 1) << path;
        EXPECT_EQ(err.str(), "kesto analyze: " + path + problem);
        EXPECT_NE(out.str().find("good.raw: hits 0"), std::string::npos) << out.str();
    }
}

}  // namespace
}  // namespace kesto
