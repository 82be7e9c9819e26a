#pragma once

#include <memory>
#include <optional>

#include "history/RadiationHistoryMng.h"
#include "toolkit/Label.h"
#include "toolkit/TableView.h"
#include "toolkit/TableViewDataSource.h"
#include "toolkit/ViewController.h"

namespace kesto {

// The History tab: the saved measurements, newest first, one row each, and a
// four-line summary (total dose, total duration, mean dose rate, the public
// exposure limit). It only reads the history store, afresh each time it is
// about to appear, so a measurement saved while another tab was shown is
// listed when this one comes back. Rows cannot be selected.
//
// Threads: main thread only.
class HistoryViewController : public ViewController, public TableViewDataSource {
  public:
    static constexpr double kRowHeight = 60.0;

    // The tab item ("Tab_History", "Onglet_H_icon_2.png", tag 1).
    HistoryViewController();

    void declareBindings(Bindings& bindings) override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;

    // Takes the store's list as it is now; nothing while the store has none.
    void loadRadiationHistoryRecordList();
    void updateDescriptionView();

    int numberOfSectionsInTableView(TableView& tableView) override;
    int numberOfRowsInSection(TableView& tableView, int section) override;
    double heightForRowAtIndexPath(TableView& tableView, IndexPath indexPath) override;
    std::unique_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView,
                                                         IndexPath indexPath) override;

    TableView* tblHistory() const { return tblHistory_; }
    Label* lblDesc() const { return lblDesc_; }
    const std::optional<RadiationHistoryMng::RecordList>& radiationHistoryRecordList() const {
        return radiationHistoryRecordList_;
    }

  private:
    TableView* tblHistory_ = nullptr;
    Label* lblDesc_ = nullptr;
    // The records as they were at the last load, shared with the store. Kept
    // by value so that the rows the table was told of stay valid when the
    // store's list grows or is replaced before the next load.
    std::optional<RadiationHistoryMng::RecordList> radiationHistoryRecordList_;
};

}  // namespace kesto
