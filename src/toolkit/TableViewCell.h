#pragma once

#include <string>

#include "toolkit/View.h"

namespace kesto {

enum class CellSelectionStyle { None, Blue };

// One row of a table view. Cells with a reuse identifier go back to their
// table when they leave the screen and are handed out again by
// TableView::dequeueReusableCellWithIdentifier.
//
// Threads: main thread only.
class TableViewCell : public View {
  public:
    ViewKind kind() const override { return ViewKind::TableViewCell; }

    const std::string& reuseIdentifier() const { return reuseIdentifier_; }
    void setReuseIdentifier(std::string identifier) { reuseIdentifier_ = std::move(identifier); }
    CellSelectionStyle selectionStyle() const { return selectionStyle_; }
    void setSelectionStyle(CellSelectionStyle style) { selectionStyle_ = style; }

    // Called when the table hands the cell out again.
    virtual void prepareForReuse() {}

  private:
    std::string reuseIdentifier_;
    CellSelectionStyle selectionStyle_ = CellSelectionStyle::Blue;
};

}  // namespace kesto
