#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/CaptureCommand.h"
#include "camera/PipelineCaptureBackend.h"
#include "camera/SimulatedCaptureBackend.h"
#include "engine/BitmapProcessor.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

class CaptureCommandTest : public ::testing::Test {
  protected:
    // Runs `seconds` of acquisition on the manual clock: each second of
    // waiting moves the clock in frame steps, delivering what is due.
    // Returns the output's lines.
    std::vector<std::string> measure(CaptureBackend& backend, int seconds, int status,
                                     bool json = false) {
        EXPECT_EQ(CaptureCommand::measure(
                      backend, *engine, {.seconds = seconds, .json = json},
                      [this](int second, CaptureSession* session) {
                          session->deliverDueFrames();  // frame 0 is due at the start
                          for (int step = 1; step <= 10; ++step) {
                              // Lands on whole seconds exactly, as the real clock would.
                              const double target =
                                  test::ManualClock::kStart + (second - 1) + step / 10.0;
                              clock.advance(target - clock.now().unixSeconds());
                              session->deliverDueFrames();
                          }
                          return true;
                      },
                      out, err),
                  status);
        std::vector<std::string> lines;
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    static SensorSpec simulated(const std::string& options) {
        return *SensorSpec::parse("sim:seed=5,size=64x48," + options);
    }

    test::ManualClock clock;
    test::ConsoleCapture console;
    std::unique_ptr<BitmapProcessor> engine = BitmapProcessor::create();
    std::ostringstream out, err;
};

TEST_F(CaptureCommandTest, ReadsOutEverySecondAndSaysTheSensorIsSimulated) {
    SimulatedCaptureBackend backend(simulated("rate=1980"));  // an event in every frame
    const auto lines = measure(backend, 3, 0);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0],
              "Reading simulated sensor (1980.00 \u03BCSv/h) \u2014 SIMULATED, not a measurement "
              "(seed 5)");
    EXPECT_EQ(lines[1].rfind("00:00:01  frames 11  events 11  hits ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[3].rfind("00:00:03  frames 31  events 31  hits ", 0), 0u) << lines[3];
    // 31 events over 3 s: 198 × 31 / 3 μSv/h, within 198 × [21.06, 44.0] / 3.
    EXPECT_NE(lines[3].find("  |  run mean 2.05 mSv/h, 95%: 1.39\u20132.90 mSv/h"),
              std::string::npos)
        << lines[3];
    EXPECT_FALSE(engine->acquisitionEnCours());
    EXPECT_TRUE(err.str().empty()) << err.str();
}

TEST_F(CaptureCommandTest, JsonLinesCarryTheFiguresWithTheirUnits) {
    SimulatedCaptureBackend backend(simulated("rate=0,lens=open"));
    const auto lines = measure(backend, 3, 0, true);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(nlohmann::json::parse(lines[0])["simulated"], true);
    const auto last = nlohmann::json::parse(lines[3]);
    EXPECT_EQ(last["events"], 0);
    EXPECT_NEAR(last["doseRate"].get<double>(), 66.0, 1e-3);  // one event's worth over 3 s
    EXPECT_EQ(last["doseRateIsUpperBound"], true);
    // No event: from 0 up to the least rate that could still be there unseen.
    EXPECT_EQ(last["doseRateLower95"], 0.0);
    EXPECT_NEAR(last["doseRateUpper95"].get<double>(), 3.6889 * 66.0, 1e-2);
    EXPECT_EQ(last["light"], true);
    EXPECT_NE(err.str().find("light reached the sensor"), std::string::npos);
}

TEST_F(CaptureCommandTest, NoFramesMeansNothingWasMeasured) {
    PipelineCaptureBackend none{std::string{}};
    const auto lines = measure(none, 2, 1);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Reading no sensor");
    EXPECT_NE(lines[2].find("light unknown (no frames)"), std::string::npos) << lines[2];
    EXPECT_NE(err.str().find("nothing was measured"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace kesto
