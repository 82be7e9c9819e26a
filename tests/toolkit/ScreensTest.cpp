#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "support/TestSupport.h"
#include "toolkit/AlertView.h"
#include "toolkit/Application.h"
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
    EXPECT_EQ(presenter.modalViewController(), modal);
    EXPECT_EQ(modal->parentViewController(), &presenter);
    EXPECT_TRUE(modal->isPresentedModally());

    // A second modal while one is up is refused: there is only ever one.
    presenter.presentModalViewController(std::make_unique<Plain>("Second"), true);
    EXPECT_EQ(presenter.modalViewController(), modal);

    RunLoop::main().runPending();  // passes go by; the presentation keeps it
    NotificationCenter::defaultCenter().post("MatriceImageChanged");
    EXPECT_EQ(modal->reports, 1);

    RunLoop::main().dispatch([modal] { modal->ok(); });
    RunLoop::main().runPending();
    EXPECT_EQ(presenter.modalViewController(), nullptr);
    NotificationCenter::defaultCenter().post("MatriceImageChanged");  // reaches nobody now
    EXPECT_EQ(journal, (std::vector<std::string>{
                           "Presenter loaded", "Presenter appears", "Modal loaded", "Modal appears",
                           "Second destroyed", "Modal disappears", "Presenter appears",
                           "told delegate after dismissal, message intact", "Modal destroyed"}));
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

std::unique_ptr<TabBarController> fourTabs() {
    auto tabs = std::make_unique<TabBarController>();
    std::vector<std::unique_ptr<ViewController>> navs;
    for (const char* name : {"Alert", "Measure", "History", "Help"}) {
        navs.push_back(std::make_unique<NavigationController>(std::make_unique<Plain>(name)));
    }
    tabs->setViewControllers(std::move(navs));
    return tabs;
}

TEST_F(ScreensTest, TheTabGuardIsAskedBeforeTapsOnlyNeverBeforeTheProgramsSelections) {
    auto tabs = fourTabs();
    Guard guard;
    tabs->setDelegate(&guard);
    Window window;
    window.setRootViewController(tabs.get());
    window.makeKeyAndVisible();
    EXPECT_EQ(tabs->selectedIndex(), 0);

    EXPECT_FALSE(tabs->tapTab(2));  // refused by the guard
    EXPECT_EQ(tabs->selectedIndex(), 0);
    tabs->setSelectedIndex(2);  // the program: nobody is asked
    EXPECT_EQ(tabs->selectedIndex(), 2);
    tabs->setSelectedViewController(tabs->viewControllers()[1]);
    EXPECT_EQ(tabs->selectedIndex(), 1);
    guard.allow = true;
    EXPECT_TRUE(tabs->tapTab(3));
    EXPECT_TRUE(tabs->tapTab(3));  // the selected tab too is asked
    EXPECT_EQ(guard.asked, (std::vector<int>{2, 3, 3}));
    EXPECT_EQ(tabs->selectedIndex(), 3);

    // Each tab's screen loads when first shown and hears every appearance.
    EXPECT_EQ(journal,
              (std::vector<std::string>{"Alert loaded", "Alert appears", "Alert disappears",
                                        "History loaded", "History appears", "History disappears",
                                        "Measure loaded", "Measure appears", "Measure disappears",
                                        "Help loaded", "Help appears"}));
    test::ConsoleCapture console;
    tabs->setSelectedIndex(7);
    EXPECT_EQ(tabs->selectedIndex(), 3);
    EXPECT_TRUE(console.contains("TabBarController: no tab 7"));
}

TEST_F(ScreensTest, NavigationStackPushesPopsAndDestroysThePoppedScreenAfterThePass) {
    auto tabs = fourTabs();
    Window window;
    window.setRootViewController(tabs.get());
    window.makeKeyAndVisible();
    auto* nav = dynamic_cast<NavigationController*>(tabs->viewControllers()[0]);
    nav->setNavigationBarHidden(true, false);
    Plain* root = dynamic_cast<Plain*>(nav->topViewController());
    nav->pushViewController(std::make_unique<Plain>("Verdict"), true);
    EXPECT_EQ(nav->topViewController()->nibName(), "Verdict");
    EXPECT_EQ(nav->topViewController()->navigationController(), nav);
    EXPECT_EQ(nav->topViewController()->tabBarController(), tabs.get());
    journal.clear();
    nav->popViewControllerAnimated(true);
    EXPECT_EQ(nav->topViewController(), root);
    nav->popViewControllerAnimated(true);  // never the root
    EXPECT_EQ(nav->count(), 1u);
    RunLoop::main().runPending();
    EXPECT_EQ(journal, (std::vector<std::string>{"Verdict disappears", "Alert appears",
                                                 "Verdict destroyed"}));

    // Tapping the selected tab takes its stack back to the root.
    nav->pushViewController(std::make_unique<Plain>("Verdict"), true);
    tabs->tapTab(0);
    EXPECT_EQ(nav->topViewController(), root);
    EXPECT_TRUE(root->shouldAutorotateToInterfaceOrientation(InterfaceOrientation::Portrait));
    EXPECT_FALSE(root->shouldAutorotateToInterfaceOrientation(InterfaceOrientation::LandscapeLeft));
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
    EXPECT_EQ(app.visibleAlert()->buttonTitles(), (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(app.visibleAlert()->cancelButtonIndex(), 0);
    EXPECT_FALSE(app.answerAlert(2));  // no such button
    EXPECT_TRUE(app.answerAlert(1));
    EXPECT_EQ(app.visibleAlert(), nullptr);
    EXPECT_EQ(answers.got, std::vector<std::string>{"tag 2 button 1 on main"});

    AlertView::show(std::make_unique<AlertView>("", "Nothing to save", nullptr, "Ok",
                                                std::vector<std::string>{}));
    EXPECT_TRUE(app.answerAlert(0));
    EXPECT_EQ(app.visibleAlert(), nullptr);
    EXPECT_FALSE(app.answerAlert(0));
}

}  // namespace
}  // namespace kesto
