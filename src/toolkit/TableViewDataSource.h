#pragma once

#include <memory>

namespace kesto {

class TableView;
class TableViewCell;

struct IndexPath {
    int section = 0;
    int row = 0;
    bool operator==(const IndexPath&) const = default;
};

// Where a table view gets its rows from, and their heights.
//
// Threads: main thread.
class TableViewDataSource {
  public:
    virtual ~TableViewDataSource() = default;
    virtual int numberOfSectionsInTableView(TableView& tableView);
    virtual int numberOfRowsInSection(TableView& tableView, int section) = 0;
    virtual double heightForRowAtIndexPath(TableView& tableView, IndexPath indexPath);
    // A cell for the row; reuse one from tableView.dequeueReusableCellWithIdentifier.
    virtual std::unique_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView,
                                                                 IndexPath indexPath) = 0;
};

}  // namespace kesto
