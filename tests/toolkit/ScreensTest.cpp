#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/RunLoop.h"
#include "toolkit/Driver.h"
#include "toolkit/NavigationController.h"
#include "toolkit/TabBarController.h"
#include "toolkit/Window.h"

namespace kesto {
namespace {

std::vector<std::string> journal;

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

// Dismisses itself, then still uses its members, as a calibration screen does.
class SelfClosing : public Plain {
  public:
    SelfClosing() : Plain("Modal") {}
    void ok() {
        parentViewController()->dismissModalViewControllerAnimated(true);
        journal.push_back("told delegate, message " + message);
    }
    std::string message = "intact";
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

NavigationController& nav(TabBarController& tabs, int index) {
    return dynamic_cast<NavigationController&>(*tabs.viewControllers()[index]);
}

struct Guard : TabBarControllerDelegate {
    bool shouldSelectViewController(TabBarController&, ViewController& screen) override {
        auto& top = *dynamic_cast<NavigationController&>(screen).topViewController();
        journal.push_back("asked for " + top.nibName());
        return allow;
    }
    bool allow = false;
};

// What goes away is destroyed after the pass.
TEST(ScreensTest, ScreensHearTheirAppearanceInOrder) {
    struct Case {
        const char* name;
        std::function<void(TabBarController&)> act;
        std::vector<std::string> heard;
    };
    const std::vector<Case> cases = {
        {"a modal closing itself from its own action, a second one refused meanwhile",
         [](TabBarController& tabs) {
             ViewController* alert = nav(tabs, 0).topViewController();
             auto owned = std::make_unique<SelfClosing>();
             SelfClosing* modal = owned.get();
             alert->presentModalViewController(std::move(owned), true);
             alert->presentModalViewController(std::make_unique<Plain>("Second"), true);
             RunLoop::main().runPending();  // passes go by; the presentation keeps it
             RunLoop::main().dispatch([modal] { modal->ok(); });
         },
         {"Alert disappears", "Modal loaded", "Modal appears", "Second destroyed",
          "Modal disappears", "Alert appears", "told delegate, message intact", "Modal destroyed"}},
        {"a screen pushed under a modal: its presenter stays hidden",
         [](TabBarController& tabs) {
             ViewController* alert = nav(tabs, 0).topViewController();
             alert->presentModalViewController(std::make_unique<Plain>("Modal"), true);
             nav(tabs, 0).pushViewController(std::make_unique<Plain>("Verdict"), true);
             alert->dismissModalViewControllerAnimated(true);
         },
         {"Alert disappears", "Modal loaded", "Modal appears", "Verdict loaded", "Verdict appears",
          "Modal disappears", "Modal destroyed"}},
        {"pop, never the root; tapping the selected tab goes back to its root",
         [](TabBarController& tabs) {
             nav(tabs, 0).pushViewController(std::make_unique<Plain>("Verdict"), true);
             nav(tabs, 0).pushViewController(std::make_unique<Plain>("Details"), true);
             nav(tabs, 0).popViewControllerAnimated(true);
             tabs.tapTab(0);
             nav(tabs, 0).popViewControllerAnimated(true);
         },
         {"Alert disappears", "Verdict loaded", "Verdict appears", "Verdict disappears",
          "Details loaded", "Details appears", "Details disappears", "Verdict appears",
          "Verdict disappears", "Alert appears", "Details destroyed", "Verdict destroyed"}},
        {"the tab guard is asked before taps, never before the program's selections",
         [](TabBarController& tabs) {
             static Guard guard;
             guard.allow = false;
             tabs.setDelegate(&guard);
             tabs.tapTab(2);
             tabs.setSelectedIndex(1);
             guard.allow = true;
             tabs.tapTab(3);
             tabs.tapTab(3);            // the selected tab too is asked
             tabs.setSelectedIndex(7);  // no such tab: nothing happens
         },
         {"asked for History", "Alert disappears", "Measure loaded", "Measure appears",
          "asked for Help", "Measure disappears", "Help loaded", "Help appears", "asked for Help"}},
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

TEST(ThreadCheckDeathTest, MainThreadEntryPointsRefuseOtherThreads) {
#ifndef KESTO_THREAD_CHECKS
    GTEST_SKIP() << "thread checks are built into debug and sanitizer builds only";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto tabs = fourTabs();
    const std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"RunLoop::runPending", [] { RunLoop::main().runPending(); }},
        {"Driver::tap", [] { (void)Driver().tap("btnStart"); }},
        {"TabBarController::tapTab", [&] { tabs->tapTab(1); }},
    };
    for (const auto& [entry, call] : calls) {
        EXPECT_DEATH(std::thread(call).join(), entry);
    }
#endif
}

}  // namespace
}  // namespace kesto
