#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/KestoAppDelegate.h"
#include "engine/BitmapProcessor.h"
#include "history/RadiationHistoryMng.h"
#include "platform/LocalizedStrings.h"
#include "platform/RunLoop.h"
#include "screens/AlertViewController.h"
#include "screens/MeasureViewController.h"
#include "screens/ScreenClasses.h"
#include "support/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/LocationManager.h"
#include "toolkit/ManualPositionSource.h"
#include "toolkit/NavigationController.h"
#include "toolkit/TabBarController.h"
#include "toolkit/Window.h"

namespace kesto {
namespace {

// The real start-up, on the simulated sensor, an empty history and positions
// injected by hand.
class KestoAppDelegateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("KESTO_SENSOR", "sim:rate=0,seed=1,size=64x48", 0);
        RadiationHistoryMng::resetForTesting(directory.path());
        KestoAppDelegate::setPositionSourceFactory([this] {
            ++sourcesMade;
            auto& app = Application::sharedApplication();
            startedWith = {RadiationHistoryMng::lastLoadState(),
                           app.window() && app.window()->isVisible()};
            auto made = std::make_unique<ManualPositionSource>();
            source = made.get();
            return made;
        });
        KestoAppDelegate::registerClass();
        Application::sharedApplication().reset();
        ASSERT_TRUE(Application::sharedApplication().launch("MainWindow"));
        shell = dynamic_cast<KestoAppDelegate*>(Application::sharedApplication().delegate());
        ASSERT_TRUE(shell);
    }
    void TearDown() override {
        if (shell) {
            shell->alertScreen()->stopDetection();
            shell->measureViewController()->stopDetection();
        }
        Application::sharedApplication().reset();
        KestoAppDelegate::setPositionSourceFactory(nullptr);
        RunLoop::main().runPending();
    }
    TabBarController& tabs() const { return *shell->tabBarController(); }
    NavigationController& stack(int index) const {
        return dynamic_cast<NavigationController&>(*tabs().viewControllers()[index]);
    }

    test::ManualClock clock;
    test::TemporaryDirectory directory;
    test::ConsoleCapture console;
    KestoAppDelegate* shell = nullptr;
    ManualPositionSource* source = nullptr;
    int sourcesMade = 0;
    // When positions started: what the history load found, whether the window showed.
    std::pair<RadiationHistoryMng::LoadState, bool> startedWith{};
};

TEST_F(KestoAppDelegateTest, StartUpBuildsFourTabsThenLoadsShowsAndLocates) {
    struct Tab {
        const char* screen;
        const char* titleKey;
        const char* image;
    };
    const std::vector<Tab> expected = {
        {"AlertViewController", "Tab_Alert", "Onglet_A_icon_2.png"},
        {"MeasureViewController", "Tab_Measure", "Onglet_B_icon_2.png"},
        {"HistoryViewController", "Tab_History", "Onglet_H_icon_2.png"},
        {"HelpViewController", "Tab_Help", "Onglet_I_icon_2.png"},
    };
    ASSERT_EQ(tabs().count(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const ViewController& root = *stack(static_cast<int>(i)).rootViewController();
        EXPECT_EQ(root.nibName(), expected[i].screen);
        EXPECT_EQ(root.tabBarItem().title, LocalizedStrings::localizedString(expected[i].titleKey));
        ASSERT_TRUE(root.tabBarItem().image) << expected[i].image;
        EXPECT_EQ(root.tabBarItem().image->name(), expected[i].image);
        EXPECT_EQ(root.tabBarItem().tag, 1);
    }
    EXPECT_EQ(tabs().selectedIndex(), 0);
    EXPECT_EQ(tabs().delegate(), shell);
    EXPECT_EQ(BitmapProcessor::sharedInstance().delegate(),
              static_cast<BitmapProcessorDelegate*>(shell->measureScreen()));
    EXPECT_EQ(Application::sharedApplication().window()->rootViewController(), &tabs());
    // Positions start last: the history was loaded (none yet) and the window shown.
    EXPECT_EQ(startedWith, std::pair(RadiationHistoryMng::LoadState::Missing, true));
    EXPECT_TRUE(shell->locationManager().isUpdating());
    EXPECT_EQ(shell->locationManager().desiredAccuracy(), kLocationAccuracyNearestTenMeters);
    EXPECT_EQ(&shell->locationManager(), &shell->locationManager());
    EXPECT_EQ(sourcesMade, 1);
    EXPECT_TRUE(console.contains("Latitude:0.000000"));
}

// The top screen of a tab is asked; its detection is stopped after the switch.
class RunningScreen : public ViewController, public DetecterDelegate {
  public:
    explicit RunningScreen(TabBarController& tabs) : ViewController("Running"), tabs_(tabs) {}
    std::string msgAlertIsRunning() override { return "still running"; }
    bool isRunning() override { return running; }
    void stopDetection() override {
        running = false;
        stoppedOnTab = tabs_.selectedIndex();
    }
    void startDetection() override { running = true; }
    bool running = true;
    std::optional<int> stoppedOnTab;

  protected:
    std::unique_ptr<View> loadView() override { return std::make_unique<View>(); }

  private:
    TabBarController& tabs_;
};

TEST_F(KestoAppDelegateTest, TabGuardAsksBeforeLeavingARunningDetection) {
    struct Row {
        const char* name;
        std::function<void()> arrange;
        int tap;
        bool allowed;
        std::string question;  // empty: none
        std::optional<int> answer;
        int selectedAfter;
        bool stillRunning;
    };
    auto& app = Application::sharedApplication();
    auto alertRunning = [this] { return shell->alertScreen()->isRunning(); };
    const std::string alertQuestion =
        LocalizedStrings::localizedString("A_AlertDetectionInProgress");
    const std::vector<Row> rows = {
        {"nothing running: any tab", [] {}, 3, true, "", std::nullopt, 3, false},
        {"the selected tab is always allowed", [this] { shell->alertScreen()->startDetection(); },
         0, true, "", std::nullopt, 0, true},
        {"alert running, No keeps it", [this] { shell->alertScreen()->startDetection(); }, 2, false,
         alertQuestion, 1, 0, true},
        {"alert running, Yes leaves and stops it",
         [this] { shell->alertScreen()->startDetection(); }, 2, false, alertQuestion, 0, 2, false},
        {"measure running, Yes leaves and stops it",
         [this] {
             tabs().setSelectedIndex(1);
             shell->measureViewController()->startDetection();
         },
         3, false, shell->measureViewController()->msgAlertIsRunning(), 0, 3, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        tabs().setSelectedIndex(0);
        row.arrange();
        EXPECT_EQ(tabs().tapTab(row.tap), row.allowed);
        const AlertView* question = app.visibleAlert();
        EXPECT_EQ(question ? question->message() : "", row.question);
        if (question) {
            EXPECT_EQ(question->buttonTitles(),
                      (std::vector{LocalizedStrings::localizedString("Yes"),
                                   LocalizedStrings::localizedString("No")}));
            EXPECT_EQ(shell->tmpSelectedViewController(), tabs().viewControllers()[row.tap]);
        }
        if (row.answer) {
            ASSERT_TRUE(app.answerAlert(*row.answer));
        }
        EXPECT_EQ(tabs().selectedIndex(), row.selectedAfter);
        EXPECT_EQ(alertRunning() || shell->measureViewController()->isRunning(), row.stillRunning);
        shell->alertScreen()->stopDetection();
        shell->measureViewController()->stopDetection();
        RunLoop::main().runPending();
    }

    // Yes: the switch happens before the stop; only the tab's top screen is asked.
    auto owned = std::make_unique<RunningScreen>(tabs());
    RunningScreen& running = *owned;
    tabs().setSelectedIndex(0);
    stack(0).pushViewController(std::move(owned), false);
    EXPECT_FALSE(tabs().tapTab(1));
    ASSERT_TRUE(app.answerAlert(0));
    EXPECT_EQ(running.stoppedOnTab, 1);
    EXPECT_EQ(shell->tmpSelectedViewController(), nullptr);
}

TEST_F(KestoAppDelegateTest, OneFreshValidFixIsKeptPerStartOfUpdates) {
    struct Row {
        const char* name;
        double latitude;
        double accuracy;
        double age;
        bool delivered;  // the source was still started
        std::optional<double> kept;
    };
    const std::vector<Row> rows = {
        {"invalid accuracy", 1.0, -1.0, 0.0, true, std::nullopt},
        {"six seconds old", 2.0, 5.0, 6.0, true, std::nullopt},
        {"exactly five seconds old: kept, updates stop", 3.0, 5.0, 5.0, true, 3.0},
        {"a later fix goes nowhere", 4.0, 5.0, 0.0, false, 3.0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Location fix(row.latitude, 7.5, row.accuracy,
                           clock.now().addingTimeInterval(-row.age));
        EXPECT_EQ(source->deliver(fix), row.delivered);
        RunLoop::main().runPending();
        const auto kept = shell->myLocation();
        EXPECT_EQ(kept ? std::optional(kept->latitude()) : std::nullopt, row.kept);
        EXPECT_EQ(shell->locationManager().isUpdating(), !row.kept.has_value());
    }
    EXPECT_EQ(shell->myLocation(), Location(3.0, 7.5)) << "latitude and longitude only";

    // Updates started again (a measurement starts): the next fresh fix is kept.
    shell->locationManager().startUpdatingLocation();
    ASSERT_TRUE(source->fail("no satellite"));
    ASSERT_TRUE(source->deliver(Location(4.0, 8.5, 50.0, clock.now())));
    RunLoop::main().runPending();
    EXPECT_TRUE(console.contains("LocationManager didFail:no satellite"));
    EXPECT_EQ(shell->myLocation(), Location(4.0, 8.5));
    EXPECT_EQ(sourcesMade, 1);
}

}  // namespace
}  // namespace kesto
