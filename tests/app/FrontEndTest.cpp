#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/CommandLine.h"
#include "camera/CaptureBackend.h"
#include "camera/SimulatedSensor.h"
#include "history/CameraProfileFile.h"
#include "history/LoopbackServer.h"
#include "history/RadiationHistoryMng.h"
#include "history/file/WriterLock.h"
#include "network/NetworkFakes.h"
#include "platform/RunLoop.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

// The terminal front ends, run as the command line runs them, on the manual
// clock: 30 seconds of detection take milliseconds. Each test chooses the
// process's sensor, which a process does once: ctest runs every test in a
// process of its own.
class FrontEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RadiationHistoryMng::resetForTesting(data_.path());
        network_.routes->setDefaultRoute(test::viaGateway("eth0"));
    }

    int run(std::vector<std::string> args) {
        args.insert(args.end(), {"--data-dir", data_.path().string()});
        return CommandLine::run(args, out_, err_);
    }
    std::vector<nlohmann::json> jsonLines() const {
        std::vector<nlohmann::json> lines;
        std::istringstream in(out_.str());
        for (std::string line; std::getline(in, line);) {
            lines.push_back(nlohmann::json::parse(line));
        }
        return lines;
    }
    // Does something to the simulated sensor `seconds` into the run.
    static void later(double seconds, std::function<void(SimulatedSensor&)> act) {
        RunLoop::main().performAfterDelay(nullptr, seconds, [act = std::move(act)] {
            act(*CaptureBackend::current().simulatedSensor());
        });
    }

    // Reset by the tests that run real pipelines in real time.
    std::optional<test::ManualClock> clock_{std::in_place};
    test::TemporaryDirectory data_;
    test::FakeNetwork network_;
    test::ScopedDefaultService reachable_{*network_.service};
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(FrontEndTest, AlertWithoutParticlesSaysSoAfterThirtySeconds) {
    const Date start = clock_->now();
    ASSERT_EQ(run({"alert", "--sensor", "sim:rate=0,seed=3,size=64x48", "--json"}), 0)
        << err_.str();
    EXPECT_NEAR(clock_->now().timeIntervalSince(start), 31.0, 1.0);
    const auto lines = jsonLines();
    ASSERT_GE(lines.size(), 30U);
    EXPECT_EQ(lines.front()["event"], "sensor");
    EXPECT_EQ(lines.front()["simulated"], true);
    // Before the run: what 30 s can see at all (3 events: 19.8 μSv/h).
    EXPECT_EQ(lines[1]["event"], "detectable");
    EXPECT_DOUBLE_EQ(lines[1]["doseRate"].get<double>(), 19.8);
    EXPECT_EQ(lines[2]["countdown"], "29 s");
    // A quiet 30 s: the rate could still be up to 3.69 events' worth.
    const auto& last = lines[lines.size() - 2];
    EXPECT_EQ(last["doseRateLower95"], 0.0);
    EXPECT_NEAR(last["doseRateUpper95"].get<double>(), 3.6889 * 198.0 / 30.0, 1.0);
    EXPECT_NEAR(last["elapsedSeconds"].get<double>(), 29.5, 1.5);  // numbers beside the texts
    EXPECT_EQ(last["events"], 0);
    EXPECT_EQ(lines.back()["event"], "verdict");
    EXPECT_EQ(lines.back()["radioactivityDetected"], false);
    EXPECT_NEAR(lines.back()["doseRateUpper95"].get<double>(), 3.6889 * 198.0 / 30.0, 1.0);
}

TEST_F(FrontEndTest, AlertUnderASaturatingRateFindsRadioactivity) {
    EXPECT_EQ(run({"alert", "--sensor", "sim:rate=100000,seed=3,size=64x48"}), 2) << err_.str();
    EXPECT_NE(out_.str().find("SIMULATED"), std::string::npos);
}

TEST_F(FrontEndTest, LightAbandonsTheAlertOnceTheLensIsCoveredAgain) {
    later(5.0, [](SimulatedSensor& sensor) { sensor.setLensOpen(true); });
    later(9.0, [](SimulatedSensor& sensor) { sensor.setLensOpen(false); });
    EXPECT_EQ(run({"alert", "--sensor", "sim:rate=0,seed=3,size=64x48"}), 1);
    EXPECT_NE(out_.str().find("Light reaches the sensor"), std::string::npos) << out_.str();
    EXPECT_NE(err_.str().find("abandoned"), std::string::npos) << err_.str();
}

// Raw frames with one bright pixel in every tenth: one event a second.
std::filesystem::path recordFrames(const std::filesystem::path& directory, int count = 20) {
    std::filesystem::create_directories(directory);
    for (int index = 0; index < count; ++index) {
        test::TestFrame frame(64, 48);
        if (index % 10 == 0) {
            frame.setPixel(10, 10, 250, 250, 250);
        }
        char name[32];
        std::snprintf(name, sizeof name, "frame-%03d.raw", index);
        std::ofstream(directory / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(frame.bytes.data()),
                   static_cast<std::streamsize>(frame.bytes.size()));
    }
    return directory;
}

TEST_F(FrontEndTest, MeasureSavesRecordedFramesUnderTheTagAndSendsThem) {
    test::LoopbackServer server(test::LoopbackServer::response(200, "OK"));
    const auto frames = recordFrames(data_.path() / "frames");
    ASSERT_EQ(run({"measure", "--sensor", "raw:" + frames.string() + ",width=64,height=48,loop",
                   "--duration", "6", "--tag", "Caf\u00e9, test", "--server", server.baseURL()}),
              0)
        << err_.str();
    RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal();
    const auto* list = RadiationHistoryMng::getRadiationHistoryRecordList();
    ASSERT_TRUE(list != nullptr && list->size() == 1U);
    EXPECT_EQ(list->front()->tag(), "Caf\u00e9, test");
    EXPECT_GE(list->front()->radionEvents().size(), 5U);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1U);
    EXPECT_NE(requests[0].find("Caf\u00e9, test"), std::string::npos);
    // The person sees the upload's outcome, not the exchange (a developer's line).
    EXPECT_NE(out_.str().find("Upload: sent\n"), std::string::npos) << out_.str();
    EXPECT_EQ(out_.str().find("Response:"), std::string::npos);
}

TEST_F(FrontEndTest, MeasureOnTheSimulatorKeepsItApartAndSendsNothing) {
    test::LoopbackServer server(test::LoopbackServer::response(200, "OK"));
    ASSERT_EQ(run({"measure", "--sensor", "sim:rate=20000,seed=3,size=64x48", "--duration", "6",
                   "--tag", "demo", "--server", server.baseURL()}),
              0)
        << err_.str();
    EXPECT_TRUE(std::filesystem::exists(data_.path() / "simulated" / "radiationHistory.txt"));
    EXPECT_FALSE(std::filesystem::exists(data_.path() / "radiationHistory.txt"));
    EXPECT_TRUE(server.requests().empty());
    EXPECT_NE(out_.str().find("Upload: never sent (a simulated"), std::string::npos);
}

// The terminal closing stops and saves as Ctrl-C does, and the time saved
// covers every event saved: none lies after the record's end.
TEST_F(FrontEndTest, AClosedTerminalStopsAndSavesTheMeasurementWithAllItsTime) {
    RunLoop::main().performAfterDelay(nullptr, 4.5, [] { std::raise(SIGHUP); });
    ASSERT_EQ(run({"measure", "--sensor", "sim:rate=20000,seed=3,size=64x48", "--tag", "hup"}), 0)
        << err_.str();
    RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal();
    const auto* list = RadiationHistoryMng::getRadiationHistoryRecordList();
    ASSERT_TRUE(list != nullptr && list->size() == 1U);
    const RadiationHistoryRecord& saved = *list->front();
    ASSERT_GE(saved.radionEvents().size(), 40U);  // every frame
    EXPECT_GE(saved.duration(), saved.radionEvents().back().timeStamp());
    EXPECT_NEAR(saved.duration(), 4.5, 1.0);
}

TEST_F(FrontEndTest, ASecondProcessThatWouldSaveIsRefused) {
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        // The simulated sensor saves into its own history, so that is the one held.
        const auto lock = WriterLock::acquire(data_.path() / "simulated");
        char byte = lock ? '1' : '0';
        (void)!::write(ready[1], &byte, 1);
        (void)!::read(release[0], &byte, 1);
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, '1');
    EXPECT_EQ(run({"measure", "--sensor", "sim:rate=0,seed=3,size=64x48", "--duration", "1"}), 1);
    EXPECT_NE(err_.str().find("process " + std::to_string(holder)), std::string::npos)
        << err_.str();
    (void)!::write(release[1], &byte, 1);
    int status = 0;
    ::waitpid(holder, &status, 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) {
        ::close(fd);
    }
}

// Hot pixels would make every frame an event; the camera's profile masks them.
TEST_F(FrontEndTest, AlertWithTheCameraProfileIgnoresHotPixels) {
    CameraProfile profile;
    profile.identity = "sim";
    profile.threshold = 100;
    profile.lightLimit = 20.0;
    profile.width = 64;
    profile.height = 48;
    profile.mask = SimulatedSensor(64, 48, 3, 0.0, false, 8, 12).hotValues();
    ASSERT_TRUE(
        CameraProfileFile::write(CameraProfileFile::path(data_.path(), "sim.json"), profile));
    EXPECT_EQ(
        run({"alert", "--sensor", "sim:rate=0,seed=3,size=64x48,hot=8,noise=12", "--profile"}), 0)
        << err_.str();
}

TEST_F(FrontEndTest, ProfileAskedForButMissingStopsBeforeMeasuring) {
    EXPECT_EQ(run({"measure", "--sensor", "sim:rate=0,seed=3,size=64x48", "--profile"}), 1);
    EXPECT_NE(err_.str().find("run 'kesto calibrate' first"), std::string::npos) << err_.str();
}

// A camera that stops: the measurement counts only the time frames came.
// The replay runs out after 5 s (and says so); the run asked for 12.
TEST_F(FrontEndTest, MeasureWhoseFramesRunOutCountsOnlyTheirTime) {
    const auto frames = recordFrames(data_.path() / "frames", 50);
    EXPECT_EQ(run({"measure", "--sensor", "raw:" + frames.string() + ",width=64,height=48",
                   "--duration", "12", "--tag", "short"}),
              1);
    EXPECT_NE(err_.str().find("the camera stopped sending frames"), std::string::npos)
        << err_.str();
    RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal();
    const auto* list = RadiationHistoryMng::getRadiationHistoryRecordList();
    ASSERT_TRUE(list != nullptr && list->size() == 1U) << err_.str();
    EXPECT_EQ(list->front()->radionEvents().size(), 5U);
    EXPECT_NEAR(list->front()->duration(), 5.0, 1.0);
    EXPECT_NEAR(list->front()->vm(), 198.0, 40.0);
}

// The simulator told to stop goes quiet without a word, as a camera that
// hangs: five seconds of silence end the measurement at its last frame.
TEST_F(FrontEndTest, MeasureWhoseCameraGoesQuietCountsOnlyTheTimeFramesCame) {
    later(3.0, [](SimulatedSensor& sensor) { sensor.setFrameLimit(0); });
    EXPECT_EQ(run({"measure", "--sensor", "sim:rate=20000,seed=3,size=64x48", "--duration", "20",
                   "--tag", "quiet", "--json"}),
              1);
    const auto lines = jsonLines();
    const auto stopped = std::find_if(lines.begin(), lines.end(),
                                      [](const auto& l) { return l["event"] == "cameraStopped"; });
    ASSERT_NE(stopped, lines.end()) << out_.str();
    EXPECT_LE(std::distance(lines.begin(), stopped), 12);  // noticed within seconds
    RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal();
    const auto* list = RadiationHistoryMng::getRadiationHistoryRecordList();
    ASSERT_TRUE(list != nullptr && list->size() == 1U) << err_.str();
    EXPECT_NEAR(list->front()->duration(), 3.0, 1.0);
}

// Profiles made for another camera, or with a threshold no camera could
// have, are refused before anything is measured.
TEST_F(FrontEndTest, AProfileForAnotherCameraIsRefused) {
    CameraProfile profile;
    profile.identity = "sim";
    profile.threshold = 100;
    profile.lightLimit = 20.0;
    profile.width = 640;
    profile.height = 480;
    const auto written =
        CameraProfileFile::write(CameraProfileFile::path(data_.path(), "sim.json"), profile);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(run({"alert", "--sensor", "sim:rate=0,seed=3,size=64x48", "--profile"}), 1);
    EXPECT_NE(err_.str().find("the profile is for 640 \u00D7 480 frames"), std::string::npos)
        << err_.str();
    EXPECT_EQ(out_.str().find("verdict"), std::string::npos);
}

// A minute of light is as long as a terminal front end waits for darkness.
TEST_F(FrontEndTest, AnAlertUnderLightGivesUpAfterAMinute) {
    const Date start = clock_->now();
    EXPECT_EQ(run({"alert", "--sensor", "sim:rate=0,seed=3,size=64x48,lens=open"}), 1);
    EXPECT_NEAR(clock_->now().timeIntervalSince(start), 61.0, 2.0);
    EXPECT_NE(out_.str().find("Light reaches the sensor"), std::string::npos);
    EXPECT_NE(err_.str().find("light still reaches the sensor after a minute"), std::string::npos)
        << err_.str();
}

// The save fails (the history's folder gives way to a file, as a full disk
// refuses writes): nothing may say it was saved.
TEST_F(FrontEndTest, ASaveThatFailsIsNeverCalledSaved) {
    const auto history = data_.path() / "simulated";
    later(3.0, [history](SimulatedSensor&) {
        std::filesystem::rename(history, history.string() + "-gone");
        std::ofstream(history) << "x";
    });
    EXPECT_EQ(run({"measure", "--sensor", "sim:rate=20000,seed=3,size=64x48", "--duration", "5",
                   "--tag", "FULL", "--json"}),
              1);
    for (const auto& line : jsonLines()) {
        EXPECT_NE(line["event"], "saved") << line;
    }
    EXPECT_NE(err_.str().find("could not be saved"), std::string::npos) << err_.str();
}

// A measurement sent when it is saved reads back as sent, once: the upload
// log, the history file and the screens hold the same whole-second dates.
// Its tag reaches the terminal without controls, in an isolate.
TEST_F(FrontEndTest, AMeasurementSentAtItsSaveIsSentOnceAndShownSafely) {
    test::LoopbackServer server(test::LoopbackServer::response(200, "OK"));
    const auto frames = recordFrames(data_.path() / "frames");
    const std::string tag =
        "\x1B[2J\xC2\x9B"
        "evil\u202Eoot";
    ASSERT_EQ(run({"measure", "--sensor", "raw:" + frames.string() + ",width=64,height=48,loop",
                   "--duration", "3", "--tag", tag, "--server", server.baseURL()}),
              0)
        << err_.str();
    // The file cannot carry ESC: the record never held it.
    const std::string shown = "\u2068\uFFFD[2J?evil?oot\u2069";
    EXPECT_NE(out_.str().find("Saved \"" + shown + "\""), std::string::npos) << out_.str();
    const auto saved = *RadiationHistoryMng::getRadiationHistoryRecordList()->front();
    RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal();
    EXPECT_EQ(*RadiationHistoryMng::getRadiationHistoryRecordList()->front(), saved);

    out_.str("");
    ASSERT_EQ(run({"history"}), 0) << err_.str();
    EXPECT_NE(out_.str().find(shown), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("[sent]"), std::string::npos) << out_.str();
    for (const char* control : {"\x1B", "\xC2\x9B", "\u202E"}) {
        EXPECT_EQ(out_.str().find(control), std::string::npos) << out_.str();
    }
    ASSERT_EQ(run({"upload", "--pending", "--server", server.baseURL()}), 0) << err_.str();
    EXPECT_EQ(server.requests().size(), 1U);
}

// A record says itself that it is simulated: no path sends it, and every
// listing marks it, wherever it is kept.
TEST_F(FrontEndTest, ASimulatedRecordIsNeverSentWhereverItIsKept) {
    test::LoopbackServer server(test::LoopbackServer::response(200, "OK"));
    ASSERT_EQ(run({"measure", "--sensor", "sim:rate=20000,seed=3,size=64x48", "--duration", "3",
                   "--tag", "demo"}),
              0)
        << err_.str();
    const std::string simulated = (data_.path() / "simulated").string();
    out_.str("");
    EXPECT_EQ(CommandLine::run({"history", "--data-dir", simulated}, out_, err_), 0);
    EXPECT_NE(out_.str().find("SIMULATED"), std::string::npos) << out_.str();
    EXPECT_EQ(CommandLine::run(
                  {"upload", "--data-dir", simulated, "--server", server.baseURL(), "--pending"},
                  out_, err_),
              0);
    EXPECT_EQ(CommandLine::run({"upload", "--data-dir", simulated, "--server", server.baseURL()},
                               out_, err_),
              1);
    EXPECT_TRUE(server.requests().empty());
}

// Real pipelines run in real time, on the system clock.
class FrontEndRealTimeTest : public FrontEndTest {
  protected:
    void SetUp() override {
        clock_.reset();
        FrontEndTest::SetUp();
    }
};

// A pipeline that ends after 2 s of frames: no verdict over the half-minute
// nobody watched.
TEST_F(FrontEndRealTimeTest, AnAlertWhosePipelineEndsGivesNoVerdict) {
    EXPECT_EQ(run({"alert", "--sensor",
                   "gst:videotestsrc num-buffers=20 pattern=black ! "
                   "video/x-raw,width=64,height=48,framerate=10/1",
                   "--json"}),
              1);
    const auto lines = jsonLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back()["event"], "cameraStopped") << out_.str();
    EXPECT_LT(lines.size(), 15U) << "noticed within seconds";
    EXPECT_NE(err_.str().find("no verdict"), std::string::npos) << err_.str();
}

}  // namespace
}  // namespace kesto
