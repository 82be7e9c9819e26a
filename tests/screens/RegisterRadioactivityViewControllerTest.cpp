#include <functional>
#include <string>
#include <vector>

#include "ScreensFixture.h"
#include "screens/RegisterRadioactivityViewController.h"
#include "toolkit/Button.h"
#include "toolkit/TextField.h"

namespace kesto::test {
namespace {

using TagEntryTest = ScreensFixture;

TEST_F(TagEntryTest, OkIsEnabledFromTheFirstEditOfAnEditingPass) {
    using Step = std::function<Result<void>(Driver&)>;
    const Step tapIn = [](Driver& d) { return d.beginEditing("txtTag"); };
    const Step type = [](Driver& d) { return d.typeText("txtTag", "\xCE\xB3"); };  // γ
    const Step erase = [](Driver& d) { return d.deleteBackward("txtTag"); };
    const Step enter = [](Driver& d) { return d.pressReturn("txtTag"); };
    struct Row {
        const char* state;
        std::vector<Step> steps;
        bool okEnabled;
        bool keyboardUp;
    };
    const std::vector<Row> rows = {
        {"shown, untouched", {}, false, false},
        {"editing begun", {tapIn}, false, true},
        {"typing", {tapIn, type}, true, true},
        {"typed and erased: empty, still enabled", {tapIn, type, erase}, true, true},
        {"return on an empty field keeps the keyboard", {tapIn, enter}, false, true},
        {"ready after return", {tapIn, type, enter}, true, false},
        {"a tap into the field being typed in changes nothing", {tapIn, type, tapIn}, true, true},
        {"a tap after return is a new editing pass", {tapIn, type, enter, tapIn}, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.state);
        measure().presentModalViewController(
            std::make_unique<RegisterRadioactivityViewController>(), true);
        auto& screen =
            dynamic_cast<RegisterRadioactivityViewController&>(*measure().modalViewController());
        for (const auto& step : row.steps) {
            ASSERT_TRUE(step(driver));
        }
        EXPECT_EQ(screen.btnSave->isEnabled(), row.okEnabled);
        EXPECT_EQ(screen.btnSave->currentTitleColor(),
                  row.okEnabled ? Color::black() : Color::gray());
        EXPECT_EQ(screen.txtTag->isEditing(), row.keyboardUp);
        measure().dismissModalViewControllerAnimated(false);
        run(0.1);
    }
}

// Characters, not bytes: 100 accented letters fit, a 101st does not, and
// the person is told why.
TEST_F(TagEntryTest, TheTagTakesAtMostAHundredCharacters) {
    measure().presentModalViewController(std::make_unique<RegisterRadioactivityViewController>(),
                                         true);
    auto& screen =
        dynamic_cast<RegisterRadioactivityViewController&>(*measure().modalViewController());
    ASSERT_TRUE(driver.beginEditing("txtTag"));
    std::string hundred;
    for (int i = 0; i < 100; ++i) {
        hundred += "\xC3\xA9";  // é
    }
    ASSERT_TRUE(driver.typeText("txtTag", hundred));
    const auto refused = driver.typeText("txtTag", "x");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), "The text is too long: at most 100 characters fit here.");
    EXPECT_EQ(screen.txtTag->text(), hundred);
    EXPECT_FALSE(screen.txtTag->insertText("x"));  // a key at a time too
}

}  // namespace
}  // namespace kesto::test
