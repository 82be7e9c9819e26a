#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/TableViewCell.h"
#include "toolkit/TableViewDataSource.h"
#include "toolkit/View.h"

namespace kesto {

// A scrolling list of rows. Only the rows inside the visible area have
// cells; a cell that scrolls out (or is dropped by reloadData) goes to the
// reuse pool of its identifier. The rows are asked of the data source at the
// first display or at reloadData.
//
// Threads: main thread only.
class TableView : public View {
  public:
    struct VisibleRow {
        IndexPath indexPath;
        Rect frame;  // in content coordinates (y from the top of the first row)
        std::unique_ptr<TableViewCell> cell;
    };

    ViewKind kind() const override { return ViewKind::TableView; }

    TableViewDataSource* dataSource() const { return dataSource_; }
    void setDataSource(TableViewDataSource* source) { dataSource_ = source; }

    void reloadData();
    // Loads the rows if nothing has asked for them yet.
    void layoutIfNeeded();
    std::unique_ptr<TableViewCell> dequeueReusableCellWithIdentifier(std::string_view identifier);

    double contentOffset() const { return contentOffset_; }
    // Scrolls (clamped to the content); cells come and go accordingly.
    void setContentOffset(double y);
    double contentHeight() const;
    const std::vector<VisibleRow>& visibleRows() const { return visible_; }
    // Cells waiting in the reuse pools.
    std::size_t reusableCellCount() const;

  private:
    struct RowFrame {
        IndexPath indexPath;
        Rect frame;
    };
    void recycle(std::unique_ptr<TableViewCell> cell);
    void updateVisibleRows();

    TableViewDataSource* dataSource_ = nullptr;
    bool loaded_ = false;
    double contentOffset_ = 0.0;
    std::vector<RowFrame> rowFrames_;
    std::vector<VisibleRow> visible_;
    std::map<std::string, std::vector<std::unique_ptr<TableViewCell>>, std::less<>> pool_;
};

}  // namespace kesto
