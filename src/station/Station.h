#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "camera/SampleBufferDelegate.h"
#include "engine/DoseRateInterval.h"
#include "platform/Date.h"
#include "platform/Timer.h"
#include "station/CountWindow.h"
#include "station/StationAlarm.h"
#include "station/StationCounter.h"

namespace kesto {

class AlarmCommand;
class BitmapProcessor;
class ContinuousCaptureBackend;
class RadiationHistoryRecord;

// An always-on station (`kesto serve --station`). From start() to stop() it
// counts every frame of the continuous capture with an analysis of its own,
// beside whatever the screens do with the same frames (their acquisitions
// neither reset nor stop it), and cuts the run into intervals on the wall
// clock (StationCounter). Each closed interval is saved in the history as one
// measurement under the station's tag, with dates, events and position as
// any record and, as its duration, the time it measured in the dark; it is
// sent to the collection server as a saved measurement is (when a server is
// set and the network can be reached; the simulated history never is).
// Intervals in which nothing was measured (lit, or no frame came) are not
// saved; the log says so.
//
// Nothing is lost: every kCheckpointSeconds the interval in progress is
// written beside the history (StationCheckpoint); start() resumes it when it
// is still open, or saves it when it is over (once: an interval already in
// the history is not saved again). stop() saves it as it stands.
//
// The alarm, when asked for, is judged every second over its window
// (StationAlarm), logged at each change and handed to the alarm command.
// A capture that sends no frame for kRestartAfter seconds is opened again.
//
// Threads: didOutputSampleBuffer on the capture's delivery thread; everything
// else on the main thread (the station's timer runs there).
class Station : public SampleBufferDelegate {
  public:
    static constexpr double kCheckpointSeconds = 30.0;
    static constexpr double kRestartAfter = 30.0;
    // The chart: the intervals of the last day, at most this many.
    static constexpr double kChartSeconds = 24.0 * 3600.0;
    static constexpr std::size_t kChartBars = 144;
    // The rolling rates shown and exported.
    static constexpr std::array<double, 3> kRateWindows = {60.0, 600.0, 3600.0};

    struct Options {
        double intervalSeconds = 600.0;    // divides a day
        std::string tag;                   // empty: the text of "Station_Tag"
        std::optional<double> alarmAbove;  // μSv/h
        double alarmWindowSeconds = 600.0;
        std::string alarmCommand;  // empty: none
        // The frames are the simulated sensor's: said wherever the station
        // is shown and in the alarm command's environment.
        bool simulated = false;
        // The last known position (latitude, longitude), asked as each
        // interval is saved; (0, 0) when unknown. Empty: (0, 0).
        std::function<std::pair<double, double>()> position;
        // The capture to start, watch and stop; null when the caller hands
        // the frames to didOutputSampleBuffer itself.
        ContinuousCaptureBackend* capture = nullptr;
    };

    // One closed interval in the chart.
    struct Bar {
        Date start;
        double darkSeconds = 0.0;
        std::int64_t events = 0;
        bool saved = false;
    };

    struct Reading {
        std::string tag;
        bool simulated = false;
        double intervalSeconds = 0.0;
        Date intervalStart;
        Date intervalEnd;
        double darkSeconds = 0.0;
        double litSeconds = 0.0;
        std::int64_t events = 0;
        bool light = false;           // the last frame was lit
        bool framesArriving = false;  // a frame came in the last few seconds
        std::uint64_t frames = 0;     // since start
        std::optional<Date> lastFrame;
        std::uint64_t intervalsSaved = 0;
        // Over each of kRateWindows, up to now.
        std::array<CountWindow::Count, kRateWindows.size()> windows{};
        std::optional<StationAlarm> alarm;
        std::vector<Bar> chart;  // oldest first
    };

    // `engine` analyses the frames for the station only (a sibling of the
    // screens' engine: same threshold, light limit and mask).
    Station(Options options, std::unique_ptr<BitmapProcessor> engine);
    ~Station() override;
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Takes up the checkpoint of the last run, starts counting, the capture
    // and the timer. Call it once the history is loaded.
    void start();
    // Stops the capture, saves the interval in progress (and any closed one
    // not saved yet) and removes the checkpoint once saved. Safe twice.
    void stop();
    bool isRunning() const { return timer_ != nullptr; }

    // Every frame of the capture.
    void didOutputSampleBuffer(const FrameBitmap& frame) override;
    // The second's work, run by the timer: saves the intervals closed, judges
    // the alarm, writes the checkpoint when due, watches the capture.
    void tick();

    Reading reading() const;
    const std::string& tag() const { return tag_; }
    // Waits (real time) for the alarm command to end; true when there is none.
    bool waitForAlarmCommand(double timeoutSeconds);

  private:
    void recover(Date now);
    void save(const StationInterval& interval, const std::string& tag);
    std::shared_ptr<RadiationHistoryRecord> recordOf(const StationInterval& interval,
                                                     const std::string& tag) const;
    void writeCheckpoint(Date now);
    void judgeAlarm(Date now);
    void watchCapture(Date now);
    void addBar(const StationInterval& interval, bool saved);
    void fillChartFromHistory(Date now);

    Options options_;
    std::string tag_;
    std::unique_ptr<BitmapProcessor> engine_;  // the delivery thread's, once started
    StationCounter counter_;
    std::optional<StationAlarm> alarm_;
    std::unique_ptr<AlarmCommand> alarmCommand_;
    std::deque<Bar> chart_;
    std::uint64_t intervalsSaved_ = 0;
    std::optional<Date> lastCheckpoint_;
    Date watchedSince_;  // the start, or the capture's last restart
    bool checkpointProblemLogged_ = false;
    std::unique_ptr<Timer> timer_;
};

}  // namespace kesto
