#include "station/Station.h"

#include <algorithm>
#include <cmath>

#include "camera/ContinuousCaptureBackend.h"
#include "engine/BitmapProcessor.h"
#include "history/RadiationHistoryMng.h"
#include "history/RadiationHistoryRecord.h"
#include "network/InternetConnection.h"
#include "platform/BackgroundThread.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Device.h"
#include "platform/Format.h"
#include "platform/LocalizedStrings.h"
#include "platform/ThreadCheck.h"
#include "station/AlarmCommand.h"
#include "station/StationCheckpoint.h"

namespace kesto {
namespace {

// "10 min", "1 h", "30 s": a window's length as the log says it.
std::string lengthText(double seconds) {
    if (seconds >= 3600.0 && std::fmod(seconds, 3600.0) == 0.0) {
        return cformat("%.0f h", seconds / 3600.0);
    }
    if (seconds >= 60.0 && std::fmod(seconds, 60.0) == 0.0) {
        return cformat("%.0f min", seconds / 60.0);
    }
    return cformat("%.0f s", seconds);
}

// "12:10:00Z": the time of day of a date, UTC.
std::string timeOfDay(Date date) {
    const std::string iso = date.iso8601();
    const auto t = iso.find('T');
    return t == std::string::npos ? iso : iso.substr(t + 1);
}

}  // namespace

Station::Station(Options options, std::unique_ptr<BitmapProcessor> engine)
    : options_(std::move(options)),
      tag_(options_.tag.empty() ? LocalizedStrings::localizedString("Station_Tag") : options_.tag),
      engine_(std::move(engine)),
      counter_(options_.intervalSeconds, options_.alarmAbove ? options_.alarmWindowSeconds : 0.0) {
    if (options_.alarmAbove) {
        alarm_.emplace(*options_.alarmAbove, options_.alarmWindowSeconds);
        if (!options_.alarmCommand.empty()) {
            alarmCommand_ = std::make_unique<AlarmCommand>(options_.alarmCommand);
        }
    }
}

Station::~Station() {
    stop();
}

void Station::start() {
    KESTO_CHECK_MAIN_THREAD();
    if (timer_) {
        return;
    }
    const Date now = Clock::now();
    fillChartFromHistory(now);
    recover(now);
    watchedSince_ = now;
    if (options_.capture != nullptr) {
        options_.capture->start(*this);
    }
    writeCheckpoint(now);
    timer_ = Timer::scheduledTimer(1.0, true, [this] { tick(); });
}

void Station::stop() {
    KESTO_CHECK_MAIN_THREAD();
    if (!timer_) {
        return;
    }
    timer_.reset();
    if (options_.capture != nullptr) {
        options_.capture->stop();  // no frame moves the count while it is saved
    }
    bool allSaved = true;
    for (const StationInterval& interval : counter_.finish(Clock::now())) {
        save(interval, tag_);
        allSaved = allSaved && RadiationHistoryMng::lastSave().ok();
    }
    const auto directory = RadiationHistoryMng::historyDirectoryPath();
    if (!directory.empty() && allSaved) {
        if (auto removed = StationCheckpoint::remove(StationCheckpoint::path(directory));
            !removed) {
            Console::log("Station: " + removed.error());
        }
    }
}

void Station::didOutputSampleBuffer(const FrameBitmap& frame) {
    if (const auto analysis = engine_->analyseFrame(frame)) {
        counter_.addFrame(Clock::now(), analysis->hits, analysis->light);
    }
}

void Station::tick() {
    KESTO_CHECK_MAIN_THREAD();
    const Date now = Clock::now();
    const auto closed = counter_.closeDue(now);
    for (const StationInterval& interval : closed) {
        save(interval, tag_);
    }
    judgeAlarm(now);
    if (!closed.empty() || !lastCheckpoint_ ||
        now.timeIntervalSince(*lastCheckpoint_) >= kCheckpointSeconds) {
        writeCheckpoint(now);
    }
    watchCapture(now);
}

void Station::recover(Date now) {
    const auto directory = RadiationHistoryMng::historyDirectoryPath();
    if (directory.empty()) {
        counter_.begin(now);
        return;
    }
    const auto file = StationCheckpoint::path(directory);
    auto read = StationCheckpoint::read(file);
    if (!read) {
        Console::log("Station: " + read.error() + "; moved aside");
        if (auto moved = StationCheckpoint::moveAside(file); !moved) {
            Console::log("Station: " + moved.error());
        }
        counter_.begin(now);
        return;
    }
    if (!*read) {
        counter_.begin(now);
        return;
    }
    const StationCheckpoint& checkpoint = **read;
    const StationInterval& interval = checkpoint.interval;
    const bool sameCutting =
        counter_.boundaryBefore(interval.end) == interval.end &&
        interval.end.timeIntervalSince(interval.start) <= options_.intervalSeconds;
    if (checkpoint.tag == tag_ && sameCutting && interval.start <= now && now < interval.end) {
        Console::logf("Station: the interval from %s goes on (%.0f s measured before the stop)",
                      timeOfDay(interval.start).c_str(), interval.darkSeconds);
        counter_.begin(now, interval);
        return;
    }
    // Over (or cut otherwise now): saved as it stood, unless the last run
    // saved it before it could remove the checkpoint.
    const auto start = Date::fromUnixSeconds(std::floor(interval.start.unixSeconds()));
    bool saved = false;
    if (const auto* list = RadiationHistoryMng::getRadiationHistoryRecordList()) {
        saved = std::any_of(list->begin(), list->end(), [&](const auto& record) {
            return record->startDate() == start && record->tag() == checkpoint.tag;
        });
    }
    if (!saved) {
        Console::log("Station: saving the interval the last run left");
        save(interval, checkpoint.tag);
    }
    counter_.begin(now);
}

std::shared_ptr<RadiationHistoryRecord> Station::recordOf(const StationInterval& interval,
                                                          const std::string& tag) const {
    auto record = std::make_shared<RadiationHistoryRecord>();
    record->setRadionEvents(interval.events);
    // Whole seconds, as the history file keeps them; the duration is the
    // dark time, the events within it.
    record->setDatesAsKept(interval.start, interval.start.addingTimeInterval(interval.darkSeconds));
    record->setUdid(Device::uniqueIdentifier());
    record->setTag(tag);
    record->setSimulated(options_.simulated || RadiationHistoryMng::isSimulated());
    const auto [latitude, longitude] =
        options_.position ? options_.position() : std::pair<double, double>(0.0, 0.0);
    record->setLatitude(latitude);
    record->setLongitude(longitude);
    return record;
}

void Station::save(const StationInterval& interval, const std::string& tag) {
    if (std::round(interval.darkSeconds) == 0.0 && interval.events.empty()) {
        Console::logf(
            "Station: nothing measured from %s to %s (light on the sensor, or no frame "
            "came): not saved",
            timeOfDay(interval.start).c_str(), timeOfDay(interval.end).c_str());
        addBar(interval, false);
        return;
    }
    std::shared_ptr<const RadiationHistoryRecord> record = recordOf(interval, tag);
    RadiationHistoryMng::registerRadiationHistoryRecord(record);
    const bool saved = RadiationHistoryMng::lastSave().ok();
    addBar(interval, saved);
    if (!saved) {
        Console::logf("Station: the interval from %s could not be saved",
                      timeOfDay(interval.start).c_str());
        return;
    }
    ++intervalsSaved_;
    Console::logf("Station: saved %s from %s, %zu events over %.0f s (%s)", tag.c_str(),
                  timeOfDay(interval.start).c_str(), record->radionEvents().size(),
                  record->duration(),
                  DoseRateInterval::forEvents(
                      static_cast<std::int64_t>(record->radionEvents().size()), record->duration())
                      .text()
                      .c_str());
    if (!options_.simulated && RadiationHistoryMng::serverURL() &&
        InternetConnection::isReacheable()) {
        BackgroundThread::detachNew(
            [record] { RadiationHistoryMng::sendRadiationHistoryRecordToServer(*record); });
    }
}

void Station::writeCheckpoint(Date now) {
    lastCheckpoint_ = now;
    const auto directory = RadiationHistoryMng::historyDirectoryPath();
    const auto written =
        directory.empty()
            ? Result<void>(fail("no data directory: the interval in progress is not kept"))
            : StationCheckpoint{tag_, counter_.current()}.write(StationCheckpoint::path(directory));
    if (!written && !checkpointProblemLogged_) {
        Console::log("Station: " + written.error());
    }
    checkpointProblemLogged_ = !written;
}

void Station::judgeAlarm(Date now) {
    if (!alarm_) {
        return;
    }
    const auto count = counter_.window(now, alarm_->windowSeconds());
    const auto change = alarm_->judge(now, count);
    if (!change) {
        return;
    }
    const double mean = count.seconds > 0.0 ? static_cast<double>(count.events) *
                                                  DoseModel::kOneEventPerSecond / count.seconds
                                            : 0.0;
    Console::logf(
        "Station: alarm %s: over the last %s the dose rate is %s (%s), %s %s%s",
        change->raised ? "RAISED" : "cleared", lengthText(alarm_->windowSeconds()).c_str(),
        DoseRateInterval::rateText(mean).c_str(), change->interval.text().c_str(),
        change->raised ? "above" : "below", DoseRateInterval::rateText(alarm_->threshold()).c_str(),
        options_.simulated ? " [SIMULATED]" : "");
    if (alarmCommand_) {
        alarmCommand_->run({
            {"KESTO_ALARM", change->raised ? "raised" : "cleared"},
            {"KESTO_ALARM_TIME", now.iso8601()},
            {"KESTO_ALARM_THRESHOLD", cformat("%.6g", alarm_->threshold())},
            {"KESTO_ALARM_WINDOW", cformat("%.0f", alarm_->windowSeconds())},
            {"KESTO_DOSE_RATE", cformat("%.6g", mean)},
            {"KESTO_DOSE_RATE_LOWER", cformat("%.6g", change->interval.lower())},
            {"KESTO_DOSE_RATE_UPPER", cformat("%.6g", change->interval.upper())},
            {"KESTO_ALARM_EVENTS", std::to_string(count.events)},
            {"KESTO_ALARM_SECONDS", cformat("%.1f", count.seconds)},
            {"KESTO_STATION_TAG", tag_},
            {"KESTO_SIMULATED", options_.simulated ? "true" : "false"},
        });
    }
}

void Station::watchCapture(Date now) {
    if (options_.capture == nullptr || !options_.capture->isRunning()) {
        return;
    }
    const Date since = std::max(counter_.lastFrameDate().value_or(watchedSince_), watchedSince_);
    if (now.timeIntervalSince(since) < kRestartAfter) {
        return;
    }
    Console::logf("Station: no frame for %.0f s: opening the camera again", kRestartAfter);
    options_.capture->restart();
    watchedSince_ = now;
}

void Station::addBar(const StationInterval& interval, bool saved) {
    chart_.push_back({interval.start, interval.darkSeconds,
                      static_cast<std::int64_t>(interval.events.size()), saved});
    // A bar stays while its interval ended within the last day.
    const Date oldest = Clock::now().addingTimeInterval(-kChartSeconds - options_.intervalSeconds);
    while (chart_.size() > kChartBars || (!chart_.empty() && chart_.front().start <= oldest)) {
        chart_.pop_front();
    }
}

void Station::fillChartFromHistory(Date now) {
    const auto* list = RadiationHistoryMng::getRadiationHistoryRecordList();
    if (list == nullptr) {
        return;
    }
    const Date oldest = now.addingTimeInterval(-kChartSeconds - options_.intervalSeconds);
    // The list is newest first; the chart oldest first.
    for (auto it = list->rbegin(); it != list->rend(); ++it) {
        const RadiationHistoryRecord& record = **it;
        if (record.tag() == tag_ && record.startDate() && *record.startDate() > oldest &&
            *record.startDate() <= now) {
            StationInterval interval;
            interval.start = *record.startDate();
            interval.darkSeconds = record.duration();
            interval.events = record.radionEvents();
            addBar(interval, true);
        }
    }
}

Station::Reading Station::reading() const {
    KESTO_CHECK_MAIN_THREAD();
    const Date now = Clock::now();
    const StationInterval current = counter_.current();
    Reading r;
    r.tag = tag_;
    r.simulated = options_.simulated;
    r.intervalSeconds = options_.intervalSeconds;
    r.intervalStart = current.start;
    r.intervalEnd = current.end;
    r.darkSeconds = current.darkSeconds;
    r.litSeconds = current.litSeconds;
    r.events = static_cast<std::int64_t>(current.events.size());
    r.light = counter_.light();
    const auto last = counter_.lastFrameDate();
    r.framesArriving = last && now.timeIntervalSince(*last) <= StationCounter::kLongestFrameGap;
    r.frames = counter_.framesTotal();
    r.lastFrame = last;
    r.intervalsSaved = intervalsSaved_;
    for (std::size_t i = 0; i < kRateWindows.size(); ++i) {
        r.windows[i] = counter_.window(now, kRateWindows[i]);
    }
    r.alarm = alarm_;
    r.chart.assign(chart_.begin(), chart_.end());
    return r;
}

bool Station::waitForAlarmCommand(double timeoutSeconds) {
    return !alarmCommand_ || alarmCommand_->waitIdle(timeoutSeconds);
}

}  // namespace kesto
