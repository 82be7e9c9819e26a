#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/DoseModel.h"
#include "engine/RadiationEvent.h"
#include "platform/Date.h"
#include "platform/PropertyListValue.h"

namespace kesto {

// One saved measurement: who made it, what the user called it, when and where
// it ran, whether the simulated sensor made it up, and its detection events.
// Derives its own duration, dose and mean dose rate.
//
// The history file keeps dates in whole seconds. The screens make their
// records with dates already so (setDatesAsKept), so that what they show is
// what the file, the exports and the upload hold.
//
// Threads: a plain value, built and completed on the main thread. Once
// registered in the history it is shared as std::shared_ptr<const ...> and
// never changed, so any thread (an upload) may read it.
class RadiationHistoryRecord {
  public:
    static constexpr const char* kUdidKey = "udid";
    static constexpr const char* kTagKey = "tag";
    static constexpr const char* kStartDateKey = "startDate";
    static constexpr const char* kStopDateKey = "stopDate";
    static constexpr const char* kLatitudeKey = "latitude";
    static constexpr const char* kLongitudeKey = "longitude";
    static constexpr const char* kRadionEventsKey = "radionEvents";
    // Kesto's own key (other readers ignore it): true for a record of the
    // simulated sensor, false for a measurement. Records saved before it
    // existed have none.
    static constexpr const char* kSimulatedKey = "simulated";
    // The same weight per event as the engine's running dose.
    static constexpr double kDosePerEvent = DoseModel::kDosePerEvent;  // μSv

    const std::optional<Date>& startDate() const { return startDate_; }
    const std::optional<Date>& stopDate() const { return stopDate_; }
    const std::optional<std::string>& udid() const { return udid_; }
    const std::optional<std::string>& tag() const { return tag_; }
    double latitude() const { return latitude_; }
    double longitude() const { return longitude_; }
    // Oldest first; empty for a new record.
    const std::vector<RadiationEvent>& radionEvents() const { return radionEvents_; }
    // Nothing when the record does not say (saved before records said it).
    const std::optional<bool>& simulated() const { return simulated_; }
    bool isSimulated() const { return simulated_.value_or(false); }

    void setStartDate(std::optional<Date> date) { startDate_ = date; }
    void setStopDate(std::optional<Date> date) { stopDate_ = date; }
    void setUdid(std::optional<std::string> udid) { udid_ = std::move(udid); }
    void setTag(std::optional<std::string> tag) { tag_ = std::move(tag); }
    void setLatitude(double latitude) { latitude_ = latitude; }
    void setLongitude(double longitude) { longitude_ = longitude; }
    void setRadionEvents(std::vector<RadiationEvent> events) { radionEvents_ = std::move(events); }
    void setSimulated(std::optional<bool> simulated) { simulated_ = simulated; }

    // The dates of an acquisition from `start` to `stop` as the history file
    // keeps them, for a record that already holds its events: the start in
    // whole seconds, rounded down; the duration rounded to the nearest whole
    // second (at least one when there are events, whose dose took time); and
    // event times no later than that duration, so that the record covers
    // every event it holds. A date that is missing stays so (a start alone is
    // rounded down).
    void setDatesAsKept(std::optional<Date> start, std::optional<Date> stop);

    // Seconds from start to stop; 0.0 when a date is missing; negative when
    // the stop date is the earlier one.
    double duration() const;
    // Dose in μSv: events, not hits, count.
    double vd() const;
    // Mean dose rate in μSv/h; 0.0 for a zero duration.
    double vm() const;

    // The history file's form of the record. A missing text or date has no
    // key at all, since a property list holds no absent value.
    PropertyListValue toDictionary() const;
    // Texts and dates of the wrong type load as absent, coordinates as 0.0;
    // other keys are ignored.
    static RadiationHistoryRecord toRadiationHistoryRecord(const PropertyListValue& dictionary);

    // "Record:<tag>, Event:<count>".
    void logToConsole() const;

    bool operator==(const RadiationHistoryRecord&) const = default;

  private:
    std::optional<Date> startDate_;
    std::optional<Date> stopDate_;
    std::optional<std::string> udid_;
    std::optional<std::string> tag_;
    double latitude_ = 0.0;
    double longitude_ = 0.0;
    std::vector<RadiationEvent> radionEvents_;
    std::optional<bool> simulated_;
};

}  // namespace kesto
