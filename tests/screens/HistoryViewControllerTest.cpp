#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "history/RadiationHistoryMng.h"
#include "platform/LocalizedStrings.h"
#include "platform/RunLoop.h"
#include "screens/HistoryCell.h"
#include "screens/HistoryViewController.h"
#include "screens/ScreenClasses.h"
#include "support/TestSupport.h"
#include "toolkit/NavigationController.h"
#include "toolkit/Window.h"

namespace kesto {
namespace {

std::string text(const char* key) {
    return LocalizedStrings::localizedString(key);
}

struct Saved {
    std::string tag;
    double seconds;
    std::size_t events;
};

void save(const Saved& s) {
    auto r = std::make_shared<RadiationHistoryRecord>();
    r->setTag(s.tag);
    r->setStartDate(Date::fromUnixSeconds(test::ManualClock::kStart));
    r->setStopDate(Date::fromUnixSeconds(test::ManualClock::kStart + s.seconds));
    r->setRadionEvents(std::vector<RadiationEvent>(s.events, RadiationEvent(0.5, 3)));
    RadiationHistoryMng::registerRadiationHistoryRecord(std::move(r));
}

// Each row's four labels, joined by " | ", top row first.
std::vector<std::string> rows(HistoryViewController& screen) {
    std::vector<std::string> result;
    for (const auto& row : screen.tblHistory()->visibleRows()) {
        auto* cell = dynamic_cast<HistoryCell*>(row.cell.get());
        if (!cell) {
            result.emplace_back("not a history cell");
            continue;
        }
        result.push_back(cell->lblTag()->text() + " | " + cell->lblDuration()->text() + " | " +
                         cell->lblVm()->text() + " | " + cell->lblVd()->text());
    }
    return result;
}

// Another screen over the list, as another tab would be.
class Cover : public ViewController {
  public:
    Cover() : ViewController("Cover") {}

  protected:
    std::unique_ptr<View> loadView() override { return std::make_unique<View>(); }
};

class HistoryViewControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ScreenClasses::registerAll();
        RadiationHistoryMng::resetForTesting(dir.path() / "data");
    }
    void TearDown() override {
        RadiationHistoryMng::resetForTesting(dir.path() / "gone");
        RunLoop::main().runPending();
    }
    // The screen at the root of its own navigation stack, in a shown window.
    HistoryViewController& show() {
        auto screen = std::make_unique<HistoryViewController>();
        HistoryViewController& shown = *screen;
        nav = std::make_unique<NavigationController>(std::move(screen));
        window = std::make_unique<Window>();
        window->setRootViewController(nav.get());
        window->makeKeyAndVisible();
        return shown;
    }

    test::TemporaryDirectory dir;
    test::ConsoleCapture console;
    std::unique_ptr<Window> window;
    std::unique_ptr<NavigationController> nav;
};

TEST_F(HistoryViewControllerTest, RowsNewestFirstAndSummaryRescaledInMSv) {
    const std::string dose = text("Dose");
    struct Case {
        const char* name;
        std::vector<Saved> saved;  // oldest first
        std::vector<std::string> rows;
        std::vector<std::string> totals;  // dose, duration, rate
    };
    const std::vector<Case> cases = {
        {"no history", {}, {}, {"0.00 μSv", "00:00:00", "0.00 μSv/h"}},
        {"1000 μSv and more shown rescaled in mSv",
         {{"low", 3600, 100}, {"ore", 3600, 20000}},
         {"ore | (01:00:00) | 1.10 mSv/h | " + dose + " 1.10 mSv",
          "low | (01:00:00) | 5.50 μSv/h | " + dose + " 5.50 μSv"},
         {"1.11 mSv", "02:00:00", "552.75 μSv/h"}},
    };
    for (const auto& c : cases) {
        RadiationHistoryMng::resetForTesting(dir.path() / c.name);
        for (const auto& s : c.saved) {
            save(s);
        }
        HistoryViewController& screen = show();
        EXPECT_EQ(rows(screen), c.rows) << c.name;
        EXPECT_EQ(screen.lblDesc()->text(), text("H_DoseTotal") + " = " + c.totals[0] + "\n" +
                                                text("H_DurationTotal") + " = " + c.totals[1] +
                                                "\n" + text("H_ExpositionMoyen") + " = " +
                                                c.totals[2] + "\n" + text("H_LimitExposition"))
            << c.name;
        EXPECT_TRUE(nav->isNavigationBarHidden()) << c.name;
    }
}

// Shown, the list stays as it was; covered (another screen on top, as
// another tab would be) it is read again when it comes back into view.
TEST_F(HistoryViewControllerTest, ReadsTheStoreEachTimeItComesIntoView) {
    save({"A", 10, 1});
    HistoryViewController& screen = show();
    save({"B", 10, 1});
    nav->pushViewController(std::make_unique<Cover>(), false);
    save({"C", 10, 1});
    RunLoop::main().runPending();
    ASSERT_EQ(rows(screen).size(), 1u);
    nav->popViewControllerAnimated(false);
    RunLoop::main().runPending();
    std::vector<std::string> tags;
    for (const auto& row : rows(screen)) {
        tags.push_back(row.substr(0, row.find(' ')));
    }
    EXPECT_EQ(tags, (std::vector<std::string>{"C", "B", "A"}));
}

}  // namespace
}  // namespace kesto
