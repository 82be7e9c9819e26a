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

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class CaptureCommandTest : public ::testing::Test {
  protected:
    // Runs `seconds` of acquisition on the manual clock: each second of
    // waiting moves the clock in frame steps, delivering what is due.
    int measure(CaptureBackend& backend, int seconds, bool json = false) {
        CaptureCommand::Options options;
        options.seconds = seconds;
        options.json = json;
        return CaptureCommand::measure(
            backend, *engine, options,
            [this](int second, CaptureSession* session) {
                session->deliverDueFrames();  // frame 0 is due at the start
                for (int step = 1; step <= 10; ++step) {
                    // Lands on whole seconds exactly, as the real clock would.
                    const double target = test::ManualClock::kStart + (second - 1) + step / 10.0;
                    clock.advance(target - clock.now().unixSeconds());
                    session->deliverDueFrames();
                }
                return true;
            },
            out, err);
    }
    static SensorSpec simulated(double rate, bool lensOpen = false) {
        SensorSpec spec;
        spec.kind = SensorSpec::Kind::Simulated;
        spec.seed = 5;
        spec.rate = rate;
        spec.lensOpen = lensOpen;
        spec.width = 64;
        spec.height = 48;
        return spec;
    }

    test::ManualClock clock;
    test::ConsoleCapture console;
    std::unique_ptr<BitmapProcessor> engine = BitmapProcessor::create();
    std::ostringstream out, err;
};

TEST_F(CaptureCommandTest, ReadsOutEverySecondAndSaysTheSensorIsSimulated) {
    SimulatedCaptureBackend backend(simulated(1980.0));  // an event in every frame
    EXPECT_EQ(measure(backend, 3), 0);
    const auto lines = linesOf(out.str());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0],
              "Reading simulated sensor (1980.00 \u03BCSv/h) \u2014 SIMULATED, not a measurement");
    EXPECT_EQ(lines[1].rfind("00:00:01  frames 11  events 11  hits ", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("  dose rate 1.98 mSv/h  dose "), std::string::npos) << lines[1];
    EXPECT_EQ(lines[3].rfind("00:00:03  frames 31  events 31  hits ", 0), 0u) << lines[3];
    EXPECT_FALSE(engine->acquisitionEnCours());
    EXPECT_TRUE(err.str().empty()) << err.str();
}

TEST_F(CaptureCommandTest, JsonLinesCarryTheFiguresWithTheirUnits) {
    SimulatedCaptureBackend backend(simulated(0.0, true));
    EXPECT_EQ(measure(backend, 3, true), 0);
    const auto lines = linesOf(out.str());
    ASSERT_EQ(lines.size(), 4u);
    const auto head = nlohmann::json::parse(lines[0]);
    EXPECT_EQ(head["simulated"], true);
    EXPECT_EQ(head["sensor"], "simulated sensor (0.00 \u03BCSv/h, lens open)");
    const auto last = nlohmann::json::parse(lines[3]);
    EXPECT_EQ(last["events"], 0);
    EXPECT_NEAR(last["doseRate"].get<double>(), 66.0, 1e-3);  // one event's worth over 3 s
    EXPECT_EQ(last["doseRateIsUpperBound"], true);
    EXPECT_EQ(last["light"], true);
    EXPECT_NE(err.str().find("light reached the sensor"), std::string::npos);
}

TEST_F(CaptureCommandTest, NoFramesMeansNothingWasMeasured) {
    PipelineCaptureBackend none{std::string{}};
    EXPECT_EQ(measure(none, 2), 1);
    const auto lines = linesOf(out.str());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Reading no sensor");
    EXPECT_NE(lines[2].find("light unknown (no frames)"), std::string::npos) << lines[2];
    EXPECT_NE(err.str().find("no frame arrived from no sensor: nothing was measured"),
              std::string::npos)
        << err.str();
}

}  // namespace
}  // namespace kesto
