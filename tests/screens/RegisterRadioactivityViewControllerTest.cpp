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
    using Step = std::function<Driver::Refusal(Driver&)>;
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
            ASSERT_FALSE(step(driver));
        }
        EXPECT_EQ(screen.btnSave->isEnabled(), row.okEnabled);
        EXPECT_EQ(screen.btnSave->currentTitleColor(),
                  row.okEnabled ? Color::black() : Color::gray());
        EXPECT_EQ(screen.txtTag->isEditing(), row.keyboardUp);
        measure().dismissModalViewControllerAnimated(false);
        run(0.1);
    }
}

}  // namespace
}  // namespace kesto::test
