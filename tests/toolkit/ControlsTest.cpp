#include <fstream>

#include <gtest/gtest.h>

#include "platform/ResourceLocator.h"
#include "support/TestSupport.h"
#include "toolkit/Button.h"
#include "toolkit/Image.h"
#include "toolkit/TableView.h"
#include "toolkit/TextField.h"
#include "toolkit/WebView.h"

namespace kesto {
namespace {

TEST(ButtonTest, StatesWithoutTheirOwnTitleOrColourShowTheNormalOnes) {
    Button button;
    button.setTitle("Ok", ControlState::Normal);
    button.setTitleColor(Color::gray(), ControlState::Disabled);
    button.setEnabled(false);
    EXPECT_EQ(button.currentTitle(), "Ok");
    EXPECT_EQ(button.currentTitleColor(), Color::gray());
    int taps = 0;
    button.setAction("btnOkClicked", [&] { ++taps; });
    EXPECT_FALSE(button.sendAction());
    button.setEnabled(true);
    EXPECT_EQ(button.currentTitleColor(), std::nullopt);
    EXPECT_TRUE(button.sendAction());
    EXPECT_EQ(taps, 1);
}

struct RecordingFieldDelegate : TextFieldDelegate {
    std::vector<std::string> calls;
    bool acceptEdits = true;
    void textFieldDidBeginEditing(TextField&) override { calls.push_back("begin"); }
    bool shouldChangeCharactersInRange(TextField& field, TextRange range,
                                       const std::string& replacement) override {
        calls.push_back("change '" + field.text() + "' @" + std::to_string(range.location) + "+" +
                        std::to_string(range.length) + " '" + replacement + "'");
        return acceptEdits;
    }
};

TEST(TextFieldTest, EveryKeyIsAskedOfTheDelegateBeforeItChangesTheText) {
    TextField field;
    RecordingFieldDelegate delegate;
    field.setDelegate(&delegate);
    EXPECT_FALSE(field.insertText("x"));  // not being edited: the keyboard is down
    field.becomeFirstResponder();
    field.insertText("a");
    field.insertText("\xC3\xA9");  // é, two bytes: one character
    field.deleteBackward();
    field.deleteBackward();
    delegate.acceptEdits = false;
    field.insertText("b");
    EXPECT_EQ(field.text(), "");
    field.becomeFirstResponder();  // already editing: no new pass
    field.resignFirstResponder();
    field.becomeFirstResponder();  // tapping in again after that is a new pass
    EXPECT_EQ(delegate.calls,
              (std::vector<std::string>{"begin", "change '' @0+0 'a'", "change 'a' @1+0 '\xC3\xA9'",
                                        "change 'a\xC3\xA9' @1+2 ''", "change 'a' @0+1 ''",
                                        "change '' @0+0 'b'", "begin"}));
}

struct Rows : TableViewDataSource {
    int rows = 20;
    int created = 0;
    int numberOfRowsInSection(TableView&, int) override { return rows; }
    double heightForRowAtIndexPath(TableView&, IndexPath) override { return 60.0; }
    std::unique_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table,
                                                         IndexPath path) override {
        auto cell = table.dequeueReusableCellWithIdentifier("CellHistoryRecord");
        if (!cell) {
            ++created;
            cell = std::make_unique<TableViewCell>();
            cell->setReuseIdentifier("CellHistoryRecord");
        }
        cell->setTag(path.row);
        return cell;
    }
};

TEST(TableViewTest, CellsLeavingTheScreenAreReusedByIdentifier) {
    Rows rows;
    TableView table;
    table.setFrame(Rect::make(0, 100, 320, 331));  // 331 / 60: six rows in view
    table.setDataSource(&rows);
    table.layoutIfNeeded();
    EXPECT_EQ(rows.created, 6);

    table.setContentOffset(600.0);  // rows 10 to 15
    table.reloadData();             // same rows again
    ASSERT_EQ(table.visibleRows().size(), 6u);
    EXPECT_EQ(table.visibleRows().front().cell->tag(), 10);
    EXPECT_EQ(rows.created, 6);  // all reused
    rows.rows = 0;
    table.reloadData();
    EXPECT_TRUE(table.visibleRows().empty());
    EXPECT_EQ(table.reusableCellCount(), 6u);
    EXPECT_DOUBLE_EQ(table.contentOffset(), 0.0);
}

TEST(ImageTest, FindsImagesAmongTheResourcesAndAnswersNoneForAMissingFile) {
    test::TemporaryDirectory dir;
    std::filesystem::create_directories(dir.path() / "images");
    std::ofstream(dir.path() / "images" / "B_play.png") << "png";
    ResourceLocator::setResourceDirectory(dir.path());
    EXPECT_EQ(Image::imageNamed("B_play.png")->path(), dir.path() / "images" / "B_play.png");
    EXPECT_FALSE(Image::imageNamed("B_stop.png"));
    EXPECT_FALSE(Image::imageNamed("../images/B_play.png"));
    ResourceLocator::setResourceDirectory({});
}

TEST(WebViewTest, BaseURLOfAPageEncodesWhatAURLCannotHoldAsIs) {
    EXPECT_EQ(WebView::fileURLWithPath("/usr/share/kesto/help/Aide Kesto é.html"),
              "file:///usr/share/kesto/help/Aide%20Kesto%20%C3%A9.html");
}

}  // namespace
}  // namespace kesto
