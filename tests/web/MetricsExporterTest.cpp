#include <cmath>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "camera/CaptureBackend.h"
#include "camera/SimulatedSensor.h"
#include "engine/BitmapProcessor.h"
#include "history/RadiationHistoryMng.h"
#include "platform/RunLoop.h"
#include "station/Station.h"
#include "support/TestSupport.h"
#include "web/MetricsExporter.h"
#include "web/WebFixture.h"

namespace kesto {
namespace {

// A strict reader of the Prometheus text format (0.0.4): every sample
// belongs to a family announced by HELP then TYPE (counter or gauge),
// names and labels are well formed, label values properly escaped, values
// numbers, no series twice. Returns "name{labels}" -> value; fails the test
// on the first fault.
std::map<std::string, double> parseExposition(const std::string& text) {
    static const std::regex help(R"(# HELP ([a-zA-Z_:][a-zA-Z0-9_:]*) [^\n]+)");
    static const std::regex type(R"(# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (counter|gauge))");
    static const std::regex sample(
        R"(([a-zA-Z_:][a-zA-Z0-9_:]*)\{((?:[a-zA-Z_][a-zA-Z0-9_]*="(?:[^"\\\n]|\\[\\"n])*",?)*)\} (\S+))");
    std::map<std::string, double> samples;
    std::set<std::string> announced;
    std::string helped;
    std::string family;
    std::istringstream in(text);
    std::string line;
    std::smatch m;
    EXPECT_TRUE(text.ends_with('\n'));
    while (std::getline(in, line)) {
        if (std::regex_match(line, m, help)) {
            EXPECT_TRUE(announced.insert(m[1]).second) << "family twice: " << line;
            helped = m[1];
        } else if (std::regex_match(line, m, type)) {
            EXPECT_EQ(m[1], helped) << "TYPE without its HELP: " << line;
            family = m[1];
        } else if (std::regex_match(line, m, sample)) {
            EXPECT_EQ(m[1], family) << "sample outside its family: " << line;
            std::size_t used = 0;
            const double value = std::stod(m[3], &used);
            EXPECT_EQ(used, m[3].length()) << line;
            EXPECT_TRUE(samples.emplace(m[1].str() + "{" + m[2].str() + "}", value).second)
                << "series twice: " << line;
        } else {
            ADD_FAILURE() << "not a line of the format: " << line;
        }
    }
    return samples;
}

class Camera : public CaptureBackend {
  public:
    std::unique_ptr<CaptureSession> createSession() override { return nullptr; }
    CaptureDevice* defaultDevice() override { return nullptr; }
    std::string description() const override { return "camera \"front\"\n/dev/video9\\"; }
};

class MetricsExporterTest : public test::WebFixture {};

// The figures follow the engine, the frame thread's reports and the sensor's
// kind, which labels every sample.
TEST_F(MetricsExporterTest, FollowsTheEngineAndLabelsTheSensor) {
    auto& engine = BitmapProcessor::sharedInstance();
    engine.startAcquisition();
    clock.advance(20.0);
    const std::string sim = "{sensor=\"sim\"}";
    {
        MetricsExporter metrics(CaptureBackend::current(), engine);
        std::thread frames([&engine] {
            const test::TestFrame dark(2, 2);
            engine.processBitmap({dark.bytes.data(), 2, 2, dark.bytesPerRow}, 0.0);
            for (int i = 0; i < 12; ++i) {
                engine.eventDetected(2, 1.0 + i);
            }
        });
        frames.join();
        // Frames arriving, so that a station notices a silent camera.
        EXPECT_EQ(parseExposition(metrics.render()).at("kesto_frames_stopped" + sim), 0.0);
        clock.advance(BitmapProcessor::kFramesStopAfter);
        const auto s = parseExposition(metrics.render());
        EXPECT_EQ(s.at("kesto_frames_total" + sim), 1.0);
        EXPECT_EQ(s.at("kesto_last_frame_timestamp_seconds" + sim),
                  clock.now().unixSeconds() - BitmapProcessor::kFramesStopAfter);
        EXPECT_EQ(s.at("kesto_frames_stopped" + sim), 1.0);
        EXPECT_EQ(s.at("kesto_events_total" + sim), 12.0);
        EXPECT_EQ(s.at("kesto_acquisition_events" + sim), 12.0);
        EXPECT_EQ(s.at("kesto_acquisition_hits" + sim), 24.0);
        EXPECT_EQ(s.at("kesto_acquisition_running" + sim), 1.0);
        EXPECT_NEAR(s.at("kesto_acquisition_dose_microsieverts" + sim), 12 * 0.055, 1e-9);
        const double rate = s.at("kesto_dose_rate_microsieverts_per_hour" + sim);
        EXPECT_GT(rate, 0.0);
        EXPECT_LT(s.at("kesto_dose_rate_lower_microsieverts_per_hour" + sim), rate);
        EXPECT_GT(s.at("kesto_dose_rate_upper_microsieverts_per_hour" + sim), rate);
        EXPECT_EQ(s.count("kesto_uploads_total{sensor=\"sim\",outcome=\"failed\"}"), 1u);
        EXPECT_EQ(
            s.count("kesto_sensor_info{sensor=\"sim\",simulated=\"true\",description=\"" +
                    MetricsExporter::escapeLabel(CaptureBackend::current().description()) + "\"}"),
            1u);
    }
    Camera camera;
    MetricsExporter metrics(camera, engine);
    const auto s = parseExposition(metrics.render());
    EXPECT_EQ(s.at("kesto_frames_total{sensor=\"camera\"}"), 0.0);
    EXPECT_EQ(s.count("kesto_sensor_info{sensor=\"camera\",simulated=\"false\",description="
                      "\"camera \\\"front\\\"\\n/dev/video9\\\\\"}"),
              1u);
    engine.stopAcquisition();
    engine.resetModel();
}

// A station's figures: every frame counted whatever the screens do, the
// rate over each window with bounds around it, the alarm once raised.
TEST_F(MetricsExporterTest, AStationExportsItsRollingRatesWithBoundsAndItsAlarm) {
    RadiationHistoryMng::resetForTesting(dir.path() / "data");
    Station::Options options;
    options.tag = "Station";
    options.alarmAbove = 1.0;
    options.alarmWindowSeconds = 60.0;
    Station station(options, BitmapProcessor::create());
    station.start();
    SimulatedSensor sensor{16, 16, 7, 500.0, false};
    std::vector<std::uint8_t> buffer;
    const Date begin = clock.now();
    for (int i = 1; i <= 1200; ++i) {  // two minutes, ten frames a second
        RunLoop::main().runUntil(begin.addingTimeInterval(i / 10.0));
        station.didOutputSampleBuffer(sensor.renderFrame(static_cast<std::uint64_t>(i), buffer));
    }
    MetricsExporter metrics(CaptureBackend::current(), BitmapProcessor::sharedInstance(), &station);
    const auto s = parseExposition(metrics.render());
    const std::string sim = "{sensor=\"sim\"";
    EXPECT_EQ(s.at("kesto_frames_total" + sim + "}"), 1200.0);
    EXPECT_EQ(s.at("kesto_alarm" + sim + "}"), 1.0);
    EXPECT_EQ(s.at("kesto_alarm_threshold_microsieverts_per_hour" + sim + "}"), 1.0);
    for (const auto& [window, dark] : {std::pair{"1m", 60.0}, {"10m", 119.9}, {"1h", 119.9}}) {
        const std::string series = sim + ",window=\"" + window + "\"}";
        const double rate = s.at("kesto_station_dose_rate_microsieverts_per_hour" + series);
        EXPECT_LT(s.at("kesto_station_dose_rate_lower_microsieverts_per_hour" + series), rate);
        EXPECT_GT(s.at("kesto_station_dose_rate_upper_microsieverts_per_hour" + series), rate);
        EXPECT_NEAR(s.at("kesto_station_dark_seconds" + series), dark, 1.1) << window;
    }
    EXPECT_EQ(s.at("kesto_station_light" + sim + "}"), 0.0);
    station.stop();
    RadiationHistoryMng::resetForTesting(dir.path() / "gone");
}

}  // namespace
}  // namespace kesto
