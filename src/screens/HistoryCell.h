#pragma once

#include <memory>

#include "history/RadiationHistoryRecord.h"
#include "toolkit/Label.h"
#include "toolkit/LayoutOwner.h"
#include "toolkit/TableViewCell.h"

namespace kesto {

// One row of the history list: the tag, the duration, the mean dose rate and
// the dose of one saved measurement. Built from the layout "HistoryCell",
// which binds the four labels to the cell itself and gives it the reuse
// identifier, so the table hands it out again.
//
// Threads: main thread only, like every view.
class HistoryCell : public TableViewCell, public LayoutOwner {
  public:
    static constexpr const char* kReuseIdentifier = "CellHistoryRecord";
    static constexpr const char* kLayoutName = "HistoryCell";

    void declareBindings(Bindings& bindings) override;

    // The record shown (shared with the store, which never changes it).
    const std::shared_ptr<const RadiationHistoryRecord>& radiationHistoryRecord() const {
        return radiationHistoryRecord_;
    }
    // Stores the record and fills the four labels from it; none empties them.
    void setRadiationHistoryRecord(std::shared_ptr<const RadiationHistoryRecord> record);

    Label* lblTag() const { return lblTag_; }
    Label* lblDuration() const { return lblDuration_; }
    Label* lblVm() const { return lblVm_; }
    Label* lblVd() const { return lblVd_; }

  private:
    Label* lblTag_ = nullptr;
    Label* lblDuration_ = nullptr;
    Label* lblVm_ = nullptr;
    Label* lblVd_ = nullptr;
    std::shared_ptr<const RadiationHistoryRecord> radiationHistoryRecord_;
};

}  // namespace kesto
