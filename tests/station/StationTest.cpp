#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "camera/SimulatedSensor.h"
#include "engine/BitmapProcessor.h"
#include "history/RadiationHistoryMng.h"
#include "platform/RunLoop.h"
#include "station/Station.h"
#include "station/StationCheckpoint.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

// 2011-03-13 07:00:00 UTC: a boundary of 10-minute intervals.
constexpr double kBoundary = 1299999600.0;

Date at(double seconds) {
    return Date::fromUnixSeconds(kBoundary + seconds);
}

// A station on the settable clock, fed ten simulated frames a second, each
// at its time, with the main loop's timers (the station's second) between.
class StationTest : public ::testing::Test {
  protected:
    StationTest() { newProcess(); }
    ~StationTest() override { RadiationHistoryMng::resetForTesting(dir.path() / "gone"); }

    // What a new process finds: the history on disk, no lock held.
    void newProcess() {
        RadiationHistoryMng::resetForTesting(dir.path());
        RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal();
    }

    std::unique_ptr<Station> station(Station::Options options = {}) {
        options.tag = "Station";
        auto made = std::make_unique<Station>(std::move(options), BitmapProcessor::create());
        made->start();
        return made;
    }

    void run(Station& running, double seconds) {
        // Each frame's time from the start, not by steps that would add up
        // their rounding.
        const Date begin = clock.now();
        const auto frames = std::lround(seconds * 10.0);
        for (long i = 1; i <= frames; ++i) {
            RunLoop::main().runUntil(begin.addingTimeInterval(static_cast<double>(i) / 10.0));
            running.didOutputSampleBuffer(sensor.renderFrame(frame++, buffer));
        }
    }

    // The station's saved intervals, oldest first.
    static std::vector<std::shared_ptr<const RadiationHistoryRecord>> saved() {
        std::vector<std::shared_ptr<const RadiationHistoryRecord>> out;
        if (const auto* list = RadiationHistoryMng::getRadiationHistoryRecordList()) {
            for (auto it = list->rbegin(); it != list->rend(); ++it) {
                if ((*it)->tag() == "Station") {
                    out.push_back(*it);
                }
            }
        }
        return out;
    }

    test::TemporaryDirectory dir;
    test::ConsoleCapture console;
    test::ManualClock clock{kBoundary};
    SimulatedSensor sensor{16, 16, 42, 5.0, false};
    std::vector<std::uint8_t> buffer;
    std::uint64_t frame = 0;
};

TEST_F(StationTest, ADayAtAKnownRateSavesEveryIntervalWithHonestIntervalsInBoundedMemory) {
    auto day = station();
    run(*day, 2 * 3600.0);
    const std::size_t heapAfterTwoHours = mallinfo2().uordblks;
    run(*day, 22 * 3600.0 + 1.0);
    const std::size_t heapAfterADay = mallinfo2().uordblks;

    // Read back as the next process would.
    newProcess();
    const auto intervals = saved();
    ASSERT_EQ(intervals.size(), 144u);
    int containing = 0;
    for (std::size_t i = 0; i < intervals.size(); ++i) {
        const auto& record = *intervals[i];
        EXPECT_EQ(*record.startDate(), at(600.0 * static_cast<double>(i)));
        EXPECT_NEAR(record.duration(), 600.0, 1.0);  // the first frame of the day starts it
        const auto interval = DoseRateInterval::forEvents(
            static_cast<std::int64_t>(record.radionEvents().size()), record.duration());
        containing += interval.lower() <= 5.0 && 5.0 <= interval.upper() ? 1 : 0;
    }
    EXPECT_GE(containing, 130) << "of 144 intervals";  // 90%
    EXPECT_EQ(day->reading().chart.size(), Station::kChartBars);
    // A leak of one byte a frame would be 790 kB; the history itself grows
    // by its 132 records.
    if (heapAfterTwoHours > 0) {
        EXPECT_LT(heapAfterADay, heapAfterTwoHours + 300 * 1024);
    }
}

TEST_F(StationTest, LightForThreeMinutesIsLeftOutAndCountingGoesOnInTheDark) {
    auto lit = station();
    run(*lit, 120.0);
    sensor.setLensOpen(true);
    run(*lit, 1.0);
    EXPECT_TRUE(lit->reading().light);
    run(*lit, 179.0);
    const double darkBefore = lit->reading().darkSeconds;
    sensor.setLensOpen(false);
    run(*lit, 60.0);
    const auto reading = lit->reading();
    EXPECT_FALSE(reading.light);
    EXPECT_NEAR(reading.litSeconds, 180.0, 0.2);
    EXPECT_NEAR(reading.darkSeconds - darkBefore, 60.0, 0.2);
    run(*lit, 241.0);
    const auto intervals = saved();
    ASSERT_EQ(intervals.size(), 1u);
    EXPECT_NEAR(intervals[0]->duration(), 420.0, 1.0);  // the dark time
    EXPECT_EQ(*intervals[0]->startDate(), at(0.0));
}

TEST_F(StationTest, TheAlarmIsRaisedOnceAndClearedOnceWhenTheRateStepsUpAndDown) {
    const auto changes = dir.path() / "changes";
    Station::Options options;
    options.alarmAbove = 10.0;
    options.alarmWindowSeconds = 600.0;
    options.alarmCommand =
        "echo $KESTO_ALARM $KESTO_DOSE_RATE_LOWER $KESTO_DOSE_RATE_UPPER "
        "$KESTO_ALARM_THRESHOLD $KESTO_ALARM_WINDOW >> '" +
        changes.string() + "'";
    auto alarmed = station(options);
    sensor.setRate(0.5);
    run(*alarmed, 1200.0);
    EXPECT_FALSE(alarmed->reading().alarm->raised());
    sensor.setRate(500.0);
    run(*alarmed, 60.0);
    EXPECT_TRUE(alarmed->reading().alarm->raised());
    run(*alarmed, 1140.0);
    sensor.setRate(0.5);
    run(*alarmed, 540.0);
    EXPECT_TRUE(alarmed->reading().alarm->raised());  // the step is still in the window
    run(*alarmed, 1860.0);
    const auto alarm = *alarmed->reading().alarm;
    EXPECT_FALSE(alarm.raised());
    EXPECT_GE(*alarm.changedAt(), at(2400.0 + 540.0));
    EXPECT_LE(*alarm.changedAt(), at(2400.0 + 660.0));

    ASSERT_TRUE(alarmed->waitForAlarmCommand(20.0));
    std::ifstream in(changes);
    std::string state;
    double lower = 0, upper = 0, threshold = 0, window = 0;
    ASSERT_TRUE(in >> state >> lower >> upper >> threshold >> window);
    EXPECT_EQ(state, "raised");
    EXPECT_GT(lower, 10.0);
    EXPECT_EQ(threshold, 10.0);
    EXPECT_EQ(window, 600.0);
    ASSERT_TRUE(in >> state >> lower >> upper >> threshold >> window);
    EXPECT_EQ(state, "cleared");
    EXPECT_LT(upper, 10.0);
    EXPECT_FALSE(in >> state) << "a third change: " << state;
}

// As SIGTERM does through kesto serve: the interval in progress is saved as
// it stands (a shorter one) and its checkpoint goes; a second stop is nothing.
TEST_F(StationTest, StoppingMidIntervalSavesTheShorterIntervalOnce) {
    sensor.setRate(50.0);
    auto stopped = station();
    run(*stopped, 250.0);
    const auto file = StationCheckpoint::path(dir.path());
    EXPECT_TRUE(std::filesystem::exists(file));
    const auto events = stopped->reading().events;
    stopped->stop();
    stopped->stop();
    EXPECT_FALSE(std::filesystem::exists(file));
    newProcess();
    const auto intervals = saved();
    ASSERT_EQ(intervals.size(), 1u);
    EXPECT_EQ(*intervals[0]->startDate(), at(0.0));
    EXPECT_NEAR(intervals[0]->duration(), 250.0, 1.0);
    EXPECT_EQ(static_cast<std::int64_t>(intervals[0]->radionEvents().size()), events);
    EXPECT_GT(events, 0);
}

// A kill (no destructor, no stop) seven minutes into an interval: the next
// start, twenty seconds later, goes on with it having lost at most a minute.
TEST_F(StationTest, AKilledStationLosesAtMostAMinuteOfItsInterval) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        sensor.setRate(50.0);
        auto killed = station();
        run(*killed, 420.0);
        const std::string dark = std::to_string(killed->reading().darkSeconds) + "\n";
        (void)!write(pipeFds[1], dark.data(), dark.size());
        for (;;) {
            pause();
        }
    }
    close(pipeFds[1]);
    char text[64] = {};
    ASSERT_GT(read(pipeFds[0], text, sizeof text - 1), 0);
    close(pipeFds[0]);
    const double darkAtKill = std::stod(text);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_NEAR(darkAtKill, 420.0, 0.2);

    newProcess();
    clock.advance(440.0);
    sensor.setRate(50.0);
    auto restarted = station();
    const auto reading = restarted->reading();
    EXPECT_EQ(reading.intervalStart, at(0.0));
    EXPECT_GE(reading.darkSeconds, darkAtKill - 60.0);
    EXPECT_LE(reading.darkSeconds, darkAtKill);
    EXPECT_GT(reading.events, 0);
    run(*restarted, 165.0);
    const auto intervals = saved();
    ASSERT_EQ(intervals.size(), 1u);
    EXPECT_GE(intervals[0]->duration(), 600.0 - 20.0 - 60.0);
}

TEST_F(StationTest, ACheckpointOfAnIntervalOverIsSavedOnceAndADamagedOneSetAside) {
    StationCheckpoint left{"Station", {at(-600.0), at(0.0), 500.0, 0.0, 5000, {}}};
    left.interval.events = {RadiationEvent(10.0, 2), RadiationEvent(250.5, 1)};
    const auto file = StationCheckpoint::path(dir.path());
    ASSERT_TRUE(left.write(file));
    station()->stop();
    ASSERT_EQ(saved().size(), 1u);
    EXPECT_EQ(saved()[0]->duration(), 500.0);
    EXPECT_EQ(saved()[0]->radionEvents().size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(file));

    // The same checkpoint again, as when a kill came between the save and
    // the checkpoint's removal: not saved twice.
    ASSERT_TRUE(left.write(file));
    newProcess();
    station()->stop();
    EXPECT_EQ(saved().size(), 1u);

    std::ofstream(file) << R"({"version": 1, "tag": "Station", "start": "noon"})";
    newProcess();
    auto fresh = station();
    EXPECT_TRUE(std::filesystem::exists(file.string() + ".unreadable"));
    run(*fresh, 10.0);
    EXPECT_NEAR(fresh->reading().darkSeconds, 9.9, 0.01);
}

}  // namespace
}  // namespace kesto
