#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "support/TestSupport.h"
#include "toolkit/AlertView.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"
#include "toolkit/NavigationController.h"
#include "toolkit/TabBarController.h"
#include "toolkit/Window.h"

namespace kesto {
namespace {

std::vector<std::string> journal;

// A screen without layout that writes its life into the journal.
class Plain : public ViewController {
  public:
    explicit Plain(std::string name) : ViewController(std::move(name)) {}
    ~Plain() override { journal.push_back(nibName() + " destroyed"); }
    void viewDidLoad() override { journal.push_back(nibName() + " loaded"); }
    void viewWillAppear(bool) override { journal.push_back(nibName() + " appears"); }
    void viewWillDisappear(bool) override { journal.push_back(nibName() + " disappears"); }

  protected:
    std::unique_ptr<View> loadView() override { return std::make_unique<View>(); }
};

// A modal that closes itself from its own action and then still uses its
// members, as a calibration screen does (dismiss first, tell its delegate after).
class SelfClosing : public Plain {
  public:
    SelfClosing() : Plain("Modal") {
        NotificationCenter::defaultCenter().addObserver(this, "MatriceImageChanged",
                                                        [this](const Notification&) { ++reports; });
    }
    ~SelfClosing() override { NotificationCenter::defaultCenter().removeObserver(this); }
    void ok() {
        parentViewController()->dismissModalViewControllerAnimated(true);
        journal.push_back("told delegate after dismissal, message " + message);
    }
    std::string message = "intact";
    int reports = 0;
};

class ScreensTest : public ::testing::Test {
  protected:
    void SetUp() override { journal.clear(); }
    void TearDown() override {
        Application::sharedApplication().reset();
        RunLoop::main().runPending();
    }
};

TEST_F(ScreensTest, AModalLivesUntilDismissedAndGoesAfterTheActionThatClosedIt) {
    Plain presenter("Presenter");
    presenter.beginAppearance(false);
    auto owned = std::make_unique<SelfClosing>();
    SelfClosing* modal = owned.get();
    presenter.presentModalViewController(std::move(owned), true);
    EXPECT_EQ(modal->parentViewController(), &presenter);
    EXPECT_TRUE(modal->isPresentedModally());

    // A second modal while one is up is refused: there is only ever one.
    presenter.presentModalViewController(std::make_unique<Plain>("Second"), true);
    EXPECT_EQ(presenter.modalViewController(), modal);

    RunLoop::main().runPending();  // passes go by; the presentation keeps it
    NotificationCenter::defaultCenter().post("MatriceImageChanged");
    EXPECT_EQ(modal->reports, 1);

    journal.clear();
    RunLoop::main().dispatch([modal] { modal->ok(); });
    RunLoop::main().runPending();
    EXPECT_EQ(presenter.modalViewController(), nullptr);
    NotificationCenter::defaultCenter().post("MatriceImageChanged");  // reaches nobody now
    EXPECT_EQ(journal, (std::vector<std::string>{"Modal disappears", "Presenter appears",
                                                 "told delegate after dismissal, message intact",
                                                 "Modal destroyed"}));
}

std::unique_ptr<TabBarController> fourTabs() {
    auto tabs = std::make_unique<TabBarController>();
    std::vector<std::unique_ptr<ViewController>> navs;
    for (const char* name : {"Alert", "Measure", "History", "Help"}) {
        navs.push_back(std::make_unique<NavigationController>(std::make_unique<Plain>(name)));
    }
    tabs->setViewControllers(std::move(navs));
    return tabs;
}

NavigationController& nav(TabBarController& tabs, int index) {
    return dynamic_cast<NavigationController&>(*tabs.viewControllers()[index]);
}

// What each screen hears, in order, as a person moves through the tabs, the
// stacks and the modals. A screen disappears before anything covers it and
// appears again when it is uncovered; what goes away is destroyed after the pass.
TEST_F(ScreensTest, ScreensHearTheirAppearanceInOrder) {
    struct Case {
        const char* name;
        std::function<void(TabBarController&)> act;
        std::vector<std::string> heard;
    };
    const std::vector<Case> cases = {
        {"a modal over a tab's screen",
         [](TabBarController& tabs) {
             ViewController* alert = nav(tabs, 0).topViewController();
             alert->presentModalViewController(std::make_unique<Plain>("Modal"), true);
             alert->dismissModalViewControllerAnimated(true);
         },
         {"Alert disappears", "Modal loaded", "Modal appears", "Modal disappears", "Alert appears",
          "Modal destroyed"}},
        {"a modal over the whole tab bar",
         [](TabBarController& tabs) {
             tabs.presentModalViewController(std::make_unique<Plain>("Modal"), true);
             tabs.setSelectedIndex(1);  // under the modal: nobody appears yet
             tabs.dismissModalViewControllerAnimated(true);
         },
         {"Alert disappears", "Modal loaded", "Modal appears", "Modal disappears", "Measure loaded",
          "Measure appears", "Modal destroyed"}},
        {"push, pop, and never the root",
         [](TabBarController& tabs) {
             nav(tabs, 0).pushViewController(std::make_unique<Plain>("Verdict"), true);
             nav(tabs, 0).popViewControllerAnimated(true);
             nav(tabs, 0).popViewControllerAnimated(true);
         },
         {"Alert disappears", "Verdict loaded", "Verdict appears", "Verdict disappears",
          "Alert appears", "Verdict destroyed"}},
        {"tapping the selected tab goes back to its root",
         [](TabBarController& tabs) {
             nav(tabs, 0).pushViewController(std::make_unique<Plain>("Verdict"), true);
             nav(tabs, 0).pushViewController(std::make_unique<Plain>("Details"), true);
             tabs.tapTab(0);
         },
         {"Alert disappears", "Verdict loaded", "Verdict appears", "Verdict disappears",
          "Details loaded", "Details appears", "Details disappears", "Alert appears",
          "Details destroyed", "Verdict destroyed"}},
        {"each tab loads when first shown",
         [](TabBarController& tabs) {
             tabs.setSelectedIndex(2);
             tabs.setSelectedViewController(tabs.viewControllers()[0]);
         },
         {"Alert disappears", "History loaded", "History appears", "History disappears",
          "Alert appears"}},
    };
    for (const auto& c : cases) {
        auto tabs = fourTabs();
        Window window;
        window.setRootViewController(tabs.get());
        window.makeKeyAndVisible();
        journal.clear();
        c.act(*tabs);
        RunLoop::main().runPending();
        EXPECT_EQ(journal, c.heard) << c.name;
        tabs.reset();
    }
}

class Guard : public TabBarControllerDelegate {
  public:
    bool shouldSelectViewController(TabBarController& tabs, ViewController& screen) override {
        const auto all = tabs.viewControllers();
        asked.push_back(static_cast<int>(std::find(all.begin(), all.end(), &screen) - all.begin()));
        return allow;
    }
    std::vector<int> asked;
    bool allow = false;
};

TEST_F(ScreensTest, TheTabGuardIsAskedBeforeTapsOnlyNeverBeforeTheProgramsSelections) {
    auto tabs = fourTabs();
    Guard guard;
    tabs->setDelegate(&guard);
    Window window;
    window.setRootViewController(tabs.get());
    window.makeKeyAndVisible();
    EXPECT_FALSE(tabs->tapTab(2));  // refused by the guard
    EXPECT_EQ(tabs->selectedIndex(), 0);
    tabs->setSelectedIndex(1);  // the program: nobody is asked
    guard.allow = true;
    EXPECT_TRUE(tabs->tapTab(3));
    EXPECT_TRUE(tabs->tapTab(3));  // the selected tab too is asked
    EXPECT_EQ(guard.asked, (std::vector<int>{2, 3, 3}));
    EXPECT_EQ(tabs->selectedIndex(), 3);
    test::ConsoleCapture console;
    tabs->setSelectedIndex(7);
    EXPECT_EQ(tabs->selectedIndex(), 3);
    EXPECT_TRUE(console.contains("TabBarController: no tab 7"));
}

class Answers : public AlertViewDelegate {
  public:
    void clickedButtonAtIndex(AlertView& alert, int index) override {
        got.push_back("tag " + std::to_string(alert.tag()) + " button " + std::to_string(index) +
                      (RunLoop::isMainThread() ? " on main" : " off main"));
    }
    std::vector<std::string> got;
};

TEST_F(ScreensTest, AlertsAnswerTheirDelegateWithTheButtonIndexAndCloseWithoutOne) {
    auto& app = Application::sharedApplication();
    Answers answers;
    auto alert =
        std::make_unique<AlertView>("", "Stop?", &answers, "Yes", std::vector<std::string>{"No"});
    alert->setTag(2);
    AlertView::show(std::move(alert));
    ASSERT_NE(app.visibleAlert(), nullptr);
    EXPECT_EQ(app.visibleAlert()->cancelButtonIndex(), 0);
    EXPECT_FALSE(app.answerAlert(2));  // no such button
    EXPECT_TRUE(app.answerAlert(1));
    EXPECT_EQ(app.visibleAlert(), nullptr);
    EXPECT_EQ(answers.got, std::vector<std::string>{"tag 2 button 1 on main"});

    AlertView::show(std::make_unique<AlertView>("", "Nothing to save", nullptr, "Ok",
                                                std::vector<std::string>{}));
    EXPECT_TRUE(app.answerAlert(0));
    EXPECT_FALSE(app.answerAlert(0));
}

// Main-thread-only entry points called from another thread end the process
// at the call, naming it, where the thread checks are built in.
TEST(ThreadCheckDeathTest, MainThreadEntryPointsRefuseOtherThreads) {
#ifndef KESTO_THREAD_CHECKS
    GTEST_SKIP() << "thread checks are built into debug and sanitizer builds only";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Plain screen("Screen");
    auto tabs = fourTabs();
    NavigationController& stack = nav(*tabs, 0);
    std::unique_ptr<RunLoop> workerLoop;
    std::thread([&] { workerLoop = std::make_unique<RunLoop>(); }).join();
    const std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"RunLoop::performAfterDelay",
         [] { RunLoop::main().performAfterDelay(nullptr, 0.0, [] {}); }},
        {"RunLoop::runPending", [] { RunLoop::main().runPending(); }},
        {"Driver::tap", [] { (void)Driver().tap("btnStart"); }},
        {"ViewController::presentModalViewController",
         [&] { screen.presentModalViewController(std::make_unique<Plain>("Modal"), false); }},
        {"NavigationController::pushViewController",
         [&] { stack.pushViewController(std::make_unique<Plain>("Next"), false); }},
        {"TabBarController::tapTab", [&] { tabs->tapTab(1); }},
        {"Application::showAlert",
         [] {
             Application::sharedApplication().showAlert(
                 std::make_unique<AlertView>("", "Hi", nullptr, "Ok", std::vector<std::string>{}));
         }},
    };
    for (const auto& [entry, call] : calls) {
        EXPECT_DEATH(std::thread(call).join(), entry);
    }
    // A thread's own loop belongs to that thread: the main thread may not run it.
    EXPECT_DEATH(workerLoop->runPending(), "RunLoop::runPending");
#endif
}

}  // namespace
}  // namespace kesto
