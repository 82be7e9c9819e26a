#include "toolkit/TableView.h"

#include <algorithm>

#include "platform/Console.h"

namespace kesto {

int TableViewDataSource::numberOfSectionsInTableView(TableView&) {
    return 1;
}

double TableViewDataSource::heightForRowAtIndexPath(TableView&, IndexPath) {
    return 44.0;
}

void TableView::recycle(std::unique_ptr<TableViewCell> cell) {
    if (cell && !cell->reuseIdentifier().empty()) {
        pool_[cell->reuseIdentifier()].push_back(std::move(cell));
    }
}

std::unique_ptr<TableViewCell> TableView::dequeueReusableCellWithIdentifier(
    std::string_view identifier) {
    const auto it = pool_.find(identifier);
    if (it == pool_.end() || it->second.empty()) {
        return nullptr;
    }
    auto cell = std::move(it->second.back());
    it->second.pop_back();
    cell->prepareForReuse();
    return cell;
}

std::size_t TableView::reusableCellCount() const {
    std::size_t count = 0;
    for (const auto& [id, cells] : pool_) {
        count += cells.size();
    }
    return count;
}

void TableView::reloadData() {
    loaded_ = true;
    for (auto& row : visible_) {
        recycle(std::move(row.cell));
    }
    visible_.clear();
    rowFrames_.clear();
    if (!dataSource_) {
        return;
    }
    double y = 0.0;
    const int sections = std::max(0, dataSource_->numberOfSectionsInTableView(*this));
    for (int section = 0; section < sections; ++section) {
        const int rows = std::max(0, dataSource_->numberOfRowsInSection(*this, section));
        for (int row = 0; row < rows; ++row) {
            const IndexPath path{section, row};
            const double h = std::max(0.0, dataSource_->heightForRowAtIndexPath(*this, path));
            rowFrames_.push_back({path, Rect::make(0.0, y, frame().size.width, h)});
            y += h;
        }
    }
    contentOffset_ = std::clamp(contentOffset_, 0.0, std::max(0.0, y - frame().size.height));
    updateVisibleRows();
}

void TableView::layoutIfNeeded() {
    if (!loaded_) {
        reloadData();
    }
}

double TableView::contentHeight() const {
    return rowFrames_.empty() ? 0.0 : rowFrames_.back().frame.maxY();
}

void TableView::setContentOffset(double y) {
    layoutIfNeeded();
    contentOffset_ = std::clamp(y, 0.0, std::max(0.0, contentHeight() - frame().size.height));
    updateVisibleRows();
}

void TableView::updateVisibleRows() {
    const double top = contentOffset_;
    const double bottom = contentOffset_ + frame().size.height;
    auto inView = [&](const Rect& r) { return r.maxY() > top && r.minY() < bottom; };

    // Rows that left the visible area give their cells back first, so the
    // rows that enter can reuse them.
    std::vector<VisibleRow> kept;
    for (auto& row : visible_) {
        if (inView(row.frame)) {
            kept.push_back(std::move(row));
        } else {
            recycle(std::move(row.cell));
        }
    }
    std::vector<VisibleRow> next;
    for (const auto& rf : rowFrames_) {
        if (!inView(rf.frame)) {
            continue;
        }
        auto existing = std::find_if(kept.begin(), kept.end(), [&](const VisibleRow& r) {
            return r.indexPath == rf.indexPath;
        });
        if (existing != kept.end()) {
            next.push_back(std::move(*existing));
            continue;
        }
        auto cell = dataSource_->cellForRowAtIndexPath(*this, rf.indexPath);
        if (!cell) {
            Console::logf("TableView: no cell for row %d of section %d", rf.indexPath.row,
                          rf.indexPath.section);
            continue;
        }
        cell->setFrame(Rect::make(0.0, 0.0, rf.frame.size.width, rf.frame.size.height));
        next.push_back({rf.indexPath, rf.frame, std::move(cell)});
    }
    visible_ = std::move(next);
}

}  // namespace kesto
