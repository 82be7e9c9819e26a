#include <sstream>

#include <gtest/gtest.h>

#include "app/Command.h"
#include "app/CommandLine.h"
#include "history/RadiationHistoryMng.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

class CommandLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        unsetenv("KESTO_SENSOR");
        unsetenv("KESTO_SERVER");
        RadiationHistoryMng::resetForTesting(dir.path());
    }
    void TearDown() override { RadiationHistoryMng::resetForTesting(dir.path()); }

    test::TemporaryDirectory dir;
    test::ConsoleCapture console;
};

// The contract every command keeps: 2 and one format for a wrong call, help
// anywhere on the line, 1 only for failed work.
TEST_F(CommandLineTest, UsageErrorsExitTwoInOneFormatAndHelpWinsAnywhere) {
    const std::string empty = (dir.path() / "empty").string();
    const struct {
        std::vector<std::string> args;
        int status;
        std::string fragment;  // in the error output, or in the output for status 0
    } cases[] = {
        {{}, 2, "Usage: kesto <command> [options]"},
        {{"frob"}, 2, "kesto: unknown command 'frob'\nRun 'kesto --help' for usage.\n"},
        {{"--help"}, 0, "  upload    send a saved measurement"},
        {{"help", "history"}, 0, "Usage: kesto history"},
        {{"analyze", "--width", "4", "--height", "2"},
         2,
         "kesto analyze: FILE is required\nRun 'kesto analyze --help' for usage.\n"},
        {{"analyze", "--width", "-1", "--height", "2", "x.raw"}, 2, "not '-1'"},
        {{"analyze", "--width=4", "--height", "2", "--bytes-per-row=15", "x.raw"},
         2,
         "--bytes-per-row must be at least 4 \u00D7 width (16)"},
        {{"analyze", "--width=four", "x.raw", "--help"}, 0, "--bytes-per-row B"},
        {{"capture", "--sensor", ""}, 2, "kesto capture: --sensor: an empty value"},
        {{"capture", "--seconds", "1.5"}, 2, "--seconds: a whole number from 1 to"},
        {{"capture", "--sensor", "raw:/nonexistent/kesto"}, 2, "is not a directory"},
        {{"history", "--bogus"}, 2, "kesto history: The following argument was not expected"},
        {{"history", "--data-dir="}, 2, "--data-dir: 1 required D missing"},
        {{"upload", "--data-dir", empty}, 1, "kesto upload: no saved measurement"},
        {{"help", "serve"}, 0, "--listen ADDR:PORT"},
        {{"help", "measure"}, 0, "the measurement stays saved"},
        {{"serve", "--listen", "localhost:8080"}, 2, "kesto serve: --listen: the listen address"},
        {{"serve", "--listen", "127.0.0.1:65536"}, 2, "a number from 0 to 65535"},
        {{"serve", "--listen", "::1:8080"}, 2, "([...] for IPv6)"},
        {{"measure", "--tag", std::string(101, 't')}, 2, "--tag: at most 100 characters"},
        {{"serve", "--interval", "10m"}, 2, "kesto serve: --interval needs --station"},
        {{"serve", "--station", "--interval", "7m"}, 2, "does not divide a day"},
        {{"serve", "--station", "--interval", "5s"}, 2, "--interval: a duration from 10 s"},
        {{"serve", "--station", "--interval", "ten"}, 2, "not 'ten'"},
        {{"serve", "--station", "--alarm-command", "true"},
         2,
         "--alarm-command needs --alarm-above"},
        {{"serve", "--station", "--alarm-above", "0"}, 2, "--alarm-above"},
        {{"serve", "--station", "--alarm-above", "1"}, 2, "could never be cleared"},
        {{"serve", "--station", "--alarm-above", "20", "--alarm-window", "30s"},
         2,
         "--alarm-window 1m or longer"},
        {{"serve", "--station", "--station-tag", std::string(101, 't')}, 2, "at most 100"},
    };
    for (const auto& c : cases) {
        std::ostringstream out, err;
        const std::string line = ::testing::PrintToString(c.args);
        EXPECT_EQ(CommandLine::run(c.args, out, err), c.status) << line << '\n' << err.str();
        const std::string& shown = c.status == 0 ? out.str() : err.str();
        EXPECT_NE(shown.find(c.fragment), std::string::npos) << line << '\n' << shown;
    }
}

TEST_F(CommandLineTest, AFailingCommandIsReportedAndExitsOne) {
    struct Throwing : Command {
        void declareOptions(CLI::App&) override {}
        int run(std::ostream&, std::ostream&) override { throw std::runtime_error("disk on fire"); }
    } command;
    const CommandLine::Entry entry{"demo", "", nullptr, nullptr};
    std::ostringstream out, err;
    EXPECT_EQ(CommandLine::run(entry, command, {}, out, err), 1);
    EXPECT_EQ(err.str(), "kesto demo: disk on fire\n");
}

}  // namespace
}  // namespace kesto
