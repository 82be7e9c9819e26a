#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ScreensFixture.h"
#include "history/RadiationHistoryRecord.h"
#include "platform/Device.h"
#include "screens/RegisterRadioactivityViewController.h"
#include "toolkit/Button.h"
#include "toolkit/TextField.h"

namespace kesto::test {
namespace {

struct Catcher final : RegisterRadioActivityViewControllerDelegate {
    void registerRadioActivitiy(std::shared_ptr<RadiationHistoryRecord> record) override {
        records.push_back(std::move(record));
    }
    std::vector<std::shared_ptr<RadiationHistoryRecord>> records;
};

class TagEntryTest : public ScreensFixture {
  protected:
    RegisterRadioactivityViewController& present() {
        auto owned = std::make_unique<RegisterRadioactivityViewController>();
        owned->setDelegate(&catcher);
        measure().presentModalViewController(std::move(owned), true);
        return dynamic_cast<RegisterRadioactivityViewController&>(*measure().modalViewController());
    }
    Catcher catcher;
};

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
        RegisterRadioactivityViewController& screen = present();
        for (const auto& step : row.steps) {
            ASSERT_FALSE(step(driver));
        }
        EXPECT_EQ(screen.btnSave->isEnabled(), row.okEnabled);
        EXPECT_EQ(screen.btnSave->currentTitleColor(),
                  row.okEnabled ? Color::black() : Color::gray());
        EXPECT_EQ(screen.txtTag->isEditing(), row.keyboardUp);
        EXPECT_EQ(!driver.tap("btnOkClicked"), row.okEnabled);
        measure().dismissModalViewControllerAnimated(false);
        run(0.1);
    }
    EXPECT_EQ(catcher.records.size(), 4U);  // one per row with OK enabled
}

TEST_F(TagEntryTest, OkHandsOverARecordOfTheStoppedAcquisition) {
    BitmapProcessor& engine = BitmapProcessor::sharedInstance();
    engine.startAcquisition();
    const Date start = clock.now();
    engine.eventDetected(3, 1.5);
    engine.eventDetected(1, 4.0);
    clock.advance(5.0);
    engine.stopAcquisition();
    for (const auto& position : {std::optional(Location(48.85, 2.35)), std::optional<Location>()}) {
        app->position = position;
        present();
        ASSERT_FALSE(driver.beginEditing("txtTag"));
        ASSERT_FALSE(driver.typeText("txtTag", "roof"));
        ASSERT_FALSE(driver.tap("btnOkClicked"));
        ASSERT_FALSE(catcher.records.empty());
        const RadiationHistoryRecord& record = *catcher.records.back();
        EXPECT_EQ(record.tag(), "roof");
        EXPECT_EQ(record.udid(), Device::uniqueIdentifier());
        EXPECT_EQ(record.startDate(), start);
        EXPECT_EQ(record.stopDate(), start.addingTimeInterval(5.0));
        EXPECT_EQ(record.radionEvents().size(), 2U);
        EXPECT_EQ(record.latitude(), position ? 48.85 : 0.0);
        EXPECT_EQ(record.longitude(), position ? 2.35 : 0.0);
        // The screen never closes itself after OK: its delegate does.
        EXPECT_EQ(driver.snapshot()["top"], "RegisterRadioactivityViewController");
        measure().dismissModalViewControllerAnimated(false);
        run(0.1);
    }
    EXPECT_EQ(console.count("Latitude:48.850000, Longitude:2.350000"), 1U);
    engine.resetModel();
    EXPECT_EQ(catcher.records.back()->radionEvents().size(), 2U);  // a copy

    present();
    ASSERT_FALSE(driver.tap("btnCancelClicked"));
    EXPECT_EQ(driver.snapshot()["modal"], nullptr);
    EXPECT_EQ(catcher.records.size(), 2U);
}

}  // namespace
}  // namespace kesto::test
