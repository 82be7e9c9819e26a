#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/KestoAppDelegate.h"
#include "camera/CaptureBackend.h"
#include "camera/SimulatedSensor.h"
#include "engine/BitmapProcessor.h"
#include "history/RadiationHistoryMng.h"
#include "platform/LocalizedStrings.h"
#include "screens/AlertViewController.h"
#include "screens/MeasureViewController.h"
#include "support/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"
#include "toolkit/FakeGpsd.h"
#include "toolkit/NavigationController.h"
#include "toolkit/TabBarController.h"
#include "toolkit/Window.h"
#include "toolkit/location/LocationManager.h"
#include "toolkit/location/ManualPositionSource.h"
#include "toolkit/location/PositionSource.h"
#include "toolkit/location/PositionSpec.h"

namespace kesto {
namespace {

std::string text(const char* key) {
    return LocalizedStrings::localizedString(key);
}

// The real start-up, on an empty history, with positions injected by hand.
class KestoAppDelegateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("KESTO_SENSOR", "sim:rate=0,seed=1,size=64x48", 0);
        RadiationHistoryMng::resetForTesting(directory.path());
        KestoAppDelegate::setPositionSourceFactory([this] {
            ++sourcesMade;
            // Positions start last: after the history load and the window.
            EXPECT_EQ(RadiationHistoryMng::lastLoadState(),
                      RadiationHistoryMng::LoadState::Missing);
            EXPECT_TRUE(app.window()->isVisible());
            if (gpsdPort != 0) {
                PositionSpec gpsd;
                gpsd.kind = PositionSpec::Kind::Gpsd;
                gpsd.host = "127.0.0.1";
                gpsd.port = gpsdPort;
                return makePositionSource(gpsd);
            }
            auto made = std::make_unique<ManualPositionSource>();
            source = made.get();
            return std::unique_ptr<PositionSource>(std::move(made));
        });
        KestoAppDelegate::registerClass();
        ASSERT_TRUE(app.launch("MainWindow"));
        shell = dynamic_cast<KestoAppDelegate*>(app.delegate());
    }
    void TearDown() override {
        shell->alertScreen()->stopDetection();
        shell->measureScreen()->stopDetection();
        app.reset();
        KestoAppDelegate::setPositionSourceFactory(nullptr);
        RunLoop::main().runPending();
    }
    TabBarController& tabs() const { return *shell->tabBarController(); }

    Application& app = Application::sharedApplication();
    test::ManualClock clock;
    test::TemporaryDirectory directory;
    test::ConsoleCapture console;
    KestoAppDelegate* shell = nullptr;
    ManualPositionSource* source = nullptr;
    int sourcesMade = 0;
    std::uint16_t gpsdPort = 0;  // positions from a gpsd there instead
};

TEST_F(KestoAppDelegateTest, StartUpBuildsFourTabsThenLocates) {
    const std::vector<std::vector<std::string>> expected = {
        {"AlertViewController", text("Tab_Alert"), "Onglet_A_icon_2.png"},
        {"MeasureViewController", text("Tab_Measure"), "Onglet_B_icon_2.png"},
        {"HistoryViewController", text("Tab_History"), "Onglet_H_icon_2.png"},
        {"HelpViewController", text("Tab_Help"), "Onglet_I_icon_2.png"}};
    std::vector<std::vector<std::string>> built;
    for (ViewController* tab : tabs().viewControllers()) {
        const auto& root = *dynamic_cast<NavigationController&>(*tab).rootViewController();
        const auto& item = root.tabBarItem();
        EXPECT_EQ(item.tag, 1);
        built.push_back({root.nibName(), item.title, item.image ? item.image->name() : ""});
    }
    EXPECT_EQ(built, expected);
    EXPECT_EQ(tabs().selectedIndex(), 0);
    EXPECT_EQ(BitmapProcessor::sharedInstance().delegate(),
              static_cast<BitmapProcessorDelegate*>(shell->measureScreen()));
    EXPECT_EQ(sourcesMade, 1);
    EXPECT_TRUE(shell->locationManager().isUpdating());
    EXPECT_TRUE(console.contains("Latitude:0.000000"));
}

// Stands on top of a tab: only that screen is asked, and stopped after the switch.
struct Spy : ViewController, DetecterDelegate {
    explicit Spy(TabBarController& bar) : ViewController("Spy"), tabs(bar) {}
    std::string msgAlertIsRunning() override { return "spy"; }
    bool isRunning() override { return true; }
    void stopDetection() override { stoppedOn = tabs.selectedIndex(); }
    void startDetection() override {}
    std::unique_ptr<View> loadView() override { return std::make_unique<View>(); }
    TabBarController& tabs;
    int stoppedOn = -1;
};

TEST_F(KestoAppDelegateTest, TabGuardAsksBeforeLeavingARunningDetection) {
    struct Row {
        int from;  // the tab whose screen runs a detection, -1: none
        int tap;
        std::optional<int> answer;  // the question asked, and answered so
        int selected;
        bool running;
    };
    for (const auto& row :
         {Row{-1, 3, std::nullopt, 3, false}, Row{0, 0, std::nullopt, 0, true},
          Row{0, 2, 1, 0, true}, Row{0, 2, 0, 2, false}, Row{1, 3, 0, 3, false}}) {
        SCOPED_TRACE("running on " + std::to_string(row.from) + ", tap " + std::to_string(row.tap));
        DetecterDelegate* screens[] = {shell->alertViewController(),
                                       shell->measureViewController()};
        tabs().setSelectedIndex(row.from < 0 ? 0 : row.from);
        if (row.from >= 0) {
            screens[row.from]->startDetection();
        }
        EXPECT_EQ(tabs().tapTab(row.tap), !row.answer);
        const AlertView* question = app.visibleAlert();
        ASSERT_EQ(question != nullptr, row.answer.has_value());
        if (question) {
            EXPECT_EQ(question->message(), screens[row.from]->msgAlertIsRunning());
            EXPECT_EQ(question->buttonTitles(), (std::vector{text("Yes"), text("No")}));
            ASSERT_TRUE(app.answerAlert(*row.answer));
        }
        EXPECT_EQ(tabs().selectedIndex(), row.selected);
        EXPECT_EQ(row.from >= 0 && screens[row.from]->isRunning(), row.running);
        screens[0]->stopDetection();
        screens[1]->stopDetection();
    }

    auto owned = std::make_unique<Spy>(tabs());
    Spy& spy = *owned;
    tabs().setSelectedIndex(0);
    dynamic_cast<NavigationController&>(*tabs().selectedViewController())
        .pushViewController(std::move(owned), false);
    EXPECT_FALSE(tabs().tapTab(1));
    ASSERT_TRUE(app.answerAlert(0));
    EXPECT_EQ(spy.stoppedOn, 1);
    EXPECT_EQ(shell->tmpSelectedViewController(), nullptr);
}

// Light, the tab guard's question and the answers, interleaved as a person
// can make them on either detecting screen: whatever happened, what is left
// on screen can be closed (a calibration screen only stays over a detection
// whose frames can turn its OK on).
TEST_F(KestoAppDelegateTest, NoTapsAnswersOrLightLeaveAScreenThatCannotClose) {
    SimulatedSensor& sensor = *CaptureBackend::current().simulatedSensor();
    Driver driver;
    struct Row {
        int tab;
        std::vector<std::string> steps;
        const char* top;  // the screen taking the taps at the end
        int selected;
        bool running;
    };
    const char* kReglage = "ReglageViewController";
    const std::vector<Row> rows = {
        {0, {"start", "leave", "light", "yes"}, "HistoryViewController", 2, false},
        {1, {"start", "leave", "light", "yes"}, "HistoryViewController", 2, false},
        {0, {"start", "leave", "light", "no"}, kReglage, 0, true},
        {1, {"start", "leave", "light", "no"}, kReglage, 1, true},
        {0, {"start", "light", "leave", "cover", "ok"}, "AlertViewController", 0, false},
        {1, {"start", "light", "cover", "light", "cover", "ok"}, "MeasureViewController", 1, false},
        {0, {"start", "light", "wait"}, kReglage, 0, true},
        {1, {"start", "stop", "light", "yes"}, "MeasureViewController", 1, false},
        {1, {"start", "save", "light", "yes", "dismiss"}, "MeasureViewController", 1, false},
        {0,
         {"start", "stop", "light", "start", "light", "cover", "ok", "start"},
         "AlertViewController",
         0,
         true},
    };
    for (const auto& row : rows) {
        std::string trace = std::to_string(row.tab) + ":";
        for (const auto& step : row.steps) {
            trace += " " + step;
        }
        SCOPED_TRACE(trace);
        tabs().setSelectedIndex(row.tab);
        DetecterDelegate* screen =
            row.tab == 0 ? shell->alertViewController() : shell->measureViewController();
        for (const auto& step : row.steps) {
            if (step == "start" || step == "stop") {
                (void)driver.tap(row.tab == 0 ? "btnCommand" : "btnStart");
            } else if (step == "leave") {
                (void)driver.tapTab(2);
            } else if (step == "light" || step == "cover") {
                sensor.setLensOpen(step == "light");
            } else if (step == "yes" || step == "no") {
                (void)driver.answerAlert(step == "yes" ? 0 : 1);
            } else if (step == "ok") {
                (void)driver.tap("okBtn");
            } else if (step == "dismiss") {  // the one-button message
                (void)driver.answerAlert(0);
            } else if (step == "save") {
                (void)driver.tap("btnSave");
            }
            RunLoop::main().runFor(step == "wait" ? 31.0 : 0.5);
        }
        EXPECT_EQ(driver.topScreen()->nibName(), row.top);
        EXPECT_EQ(tabs().selectedIndex(), row.selected);
        EXPECT_EQ(screen->isRunning(), row.running);

        // Covered, a calibration screen still up lets OK close it.
        sensor.setLensOpen(false);
        RunLoop::main().runFor(0.5);
        if (driver.topScreen()->nibName() == kReglage) {
            EXPECT_TRUE(driver.tap("okBtn"));
        }
        EXPECT_NE(driver.topScreen()->nibName(), kReglage);
        (void)driver.answerAlert(0);
        screen->stopDetection();
    }
}

TEST_F(KestoAppDelegateTest, OneFreshValidFixIsKeptPerStartOfUpdates) {
    struct Row {
        double latitude, accuracy, age;
        bool delivered;  // the source was still started
        std::optional<double> kept;
    };
    for (const auto& row :
         {Row{1.0, -1.0, 0.0, true, std::nullopt}, Row{2.0, 5.0, 6.0, true, std::nullopt},
          Row{3.0, 5.0, 5.0, true, 3.0}, Row{4.0, 5.0, 0.0, false, 3.0}}) {
        SCOPED_TRACE(row.latitude);
        EXPECT_EQ(source->deliver(Location(row.latitude, 7.5, row.accuracy,
                                           clock.now().addingTimeInterval(-row.age))),
                  row.delivered);
        RunLoop::main().runPending();
        const auto kept = shell->myLocation();
        EXPECT_EQ(kept ? std::optional(kept->latitude()) : std::nullopt, row.kept);
        EXPECT_EQ(shell->locationManager().isUpdating(), !row.kept);
    }
    EXPECT_EQ(shell->myLocation(), Location(3.0, 7.5)) << "latitude and longitude only";

    shell->locationManager().startUpdatingLocation();  // as a measurement starts
    ASSERT_TRUE(source->fail("no satellite"));
    ASSERT_TRUE(source->deliver(Location(4.0, 8.5, 50.0, clock.now())));
    RunLoop::main().runPending();
    EXPECT_TRUE(console.contains("LocationManager didFail:no satellite"));
    EXPECT_EQ(shell->myLocation(), Location(4.0, 8.5));
}

// The start-up reading a gpsd that replays the script of one receiver.
class KestoAppDelegateGpsdTest : public KestoAppDelegateTest {
  protected:
    void SetUp() override {
        const auto report = [](const std::string& fields) {
            return "{\"class\":\"TPV\"," + fields + "}\r\n";
        };
        gpsd.emplace(
            std::vector<std::string>{
                // Off the globe.
                report(
                    R"("mode":3,"time":"2011-03-13T07:06:40.250Z","lat":123.0,"lon":500.0,"eph":5.0)"),
                // Dated an hour ahead.
                report(
                    R"("mode":3,"time":"2011-03-13T08:06:40.250Z","lat":1.0,"lon":2.0,"eph":5.0)"),
                // Only RMC sentences: a 2D fix without an error estimate.
                report(R"("mode":2,"time":"2011-03-13T07:06:40.250Z","lat":10.0,"lon":20.0)"),
            },
            false);
        gpsdPort = gpsd->port();
        KestoAppDelegateTest::SetUp();
    }
    void TearDown() override {
        KestoAppDelegateTest::TearDown();
        gpsd.reset();
    }
    std::optional<test::FakeGpsd> gpsd;
};

// gpsd's fixes meet the rule a fixed place meets: on the globe, not from the
// future; a fix without an error estimate is a fix all the same.
TEST_F(KestoAppDelegateGpsdTest, FixesFromGpsdAreCheckedLikeAnyOther) {
    ASSERT_TRUE(
        RunLoop::main().runUntilCondition([&] { return shell->myLocation().has_value(); }, 20.0));
    EXPECT_EQ(shell->myLocation(), Location(10.0, 20.0));
}

}  // namespace
}  // namespace kesto
