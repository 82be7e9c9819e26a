#include <fstream>
#include <tuple>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/ResourceLocator.h"
#include "platform/RunLoop.h"
#include "support/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/Button.h"
#include "toolkit/Driver.h"
#include "toolkit/Label.h"
#include "toolkit/Layout.h"
#include "toolkit/NavigationController.h"
#include "toolkit/TabBarController.h"
#include "toolkit/TableView.h"
#include "toolkit/TextField.h"

namespace kesto {
namespace {

using nlohmann::json;

class Dial : public View {
  protected:
    void drawRect(GraphicsContext& context, Rect rect) override {
        context.addArc(rect.size.width / 2, rect.size.height / 2, rect.size.width / 2, 0, 1.5, 1);
    }
};

class CounterScreen : public ViewController,
                      public AlertViewDelegate,
                      public TextFieldDelegate,
                      public TableViewDataSource {
  public:
    CounterScreen() : ViewController("CounterScreen") { setTabBarItem({"Count", std::nullopt, 1}); }
    void declareBindings(Bindings& b) override {
        b.outlet("lblCount", lblCount);
        b.outlet("btnAdd", btnAdd);
        b.outlet("txtName", txtName);
        b.outlet("tblRows", tblRows);
        b.action("add", [this] { lblCount->setText(std::to_string(++count)); });
        b.action("ask", [this] {
            AlertView::show(std::make_unique<AlertView>("", "Reset?", this, "Yes",
                                                        std::vector<std::string>{"No"}));
        });
    }
    void viewDidLoad() override { lblCount->setText("0"); }
    void clickedButtonAtIndex(AlertView&, int index) override {
        if (index == 0) {
            count = 0;
            lblCount->setText("0");
            btnAdd->setEnabled(false);
        }
    }
    bool textFieldShouldReturn(TextField& field) override {
        field.resignFirstResponder();
        lblCount->setText("hello " + field.text());
        return true;
    }
    int numberOfRowsInSection(TableView&, int) override { return 3; }
    double heightForRowAtIndexPath(TableView&, IndexPath) override { return 60.0; }
    std::unique_ptr<TableViewCell> cellForRowAtIndexPath(TableView&, IndexPath path) override {
        auto cell = std::make_unique<TableViewCell>();
        auto label = std::make_unique<Label>();
        label->setFrame(Rect::make(10, 5, 200, 20));
        label->setText("row " + std::to_string(path.row));
        cell->addSubview(std::move(label));
        return cell;
    }

    Label* lblCount = nullptr;
    Button* btnAdd = nullptr;
    TextField* txtName = nullptr;
    TableView* tblRows = nullptr;
    int count = 0;
};

class FakeAppDelegate : public ApplicationDelegate {
  public:
    bool didFinishLaunchingWithOptions(Application&) override {
        tabs = std::make_unique<TabBarController>();
        std::vector<std::unique_ptr<ViewController>> navs;
        navs.push_back(std::make_unique<NavigationController>(std::make_unique<CounterScreen>()));
        navs.push_back(std::make_unique<NavigationController>(std::make_unique<CounterScreen>()));
        tabs->setViewControllers(std::move(navs));
        window()->setRootViewController(tabs.get());
        window()->makeKeyAndVisible();
        return true;
    }
    void applicationWillTerminate(Application&) override { terminated = true; }
    std::unique_ptr<TabBarController> tabs;
    bool terminated = false;
};

class DriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResourceLocator::setResourceDirectory(dir.path());
        std::filesystem::create_directories(dir.path() / "layouts");
        write("MainWindow", R"({"delegateClass": "FakeAppDelegate"})");
        write("CounterScreen", R"({"view": {"frame": [0, 0, 320, 431], "subviews": [
            {"kind": "label", "outlet": "lblCount", "frame": [10, 10, 300, 30]},
            {"kind": "button", "outlet": "btnAdd", "action": "add", "title": "+",
             "frame": [10, 50, 60, 44]},
            {"kind": "button", "action": "ask", "title": "Reset", "frame": [80, 50, 60, 44]},
            {"kind": "textField", "outlet": "txtName", "delegate": "owner",
             "frame": [10, 100, 300, 32]},
            {"kind": "tableView", "outlet": "tblRows", "dataSource": "owner",
             "frame": [0, 40, 320, 391]},
            {"kind": "view", "class": "Dial", "frame": [100, 200, 100, 100]}]}})");
        Layout::ViewClasses::registerClass("Dial", [] { return std::make_unique<Dial>(); });
        Application::DelegateClasses::registerClass(
            "FakeAppDelegate", [] { return std::make_unique<FakeAppDelegate>(); });
        ASSERT_TRUE(Application::sharedApplication().launch());
    }
    void TearDown() override {
        Application::sharedApplication().reset();
        RunLoop::main().runPending();
        ResourceLocator::setResourceDirectory({});
    }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir.path() / "layouts" / (name + ".json")) << text;
    }
    static const json* control(const json& snapshot, const std::string& outlet) {
        for (const auto& c : snapshot["controls"]) {
            if (c.value("outlet", "") == outlet) {
                return &c;
            }
        }
        return nullptr;
    }

    test::TemporaryDirectory dir;
    test::ManualClock clock;
    Driver driver;
};

TEST_F(DriverTest, APersonCanReadTapTypeAndAnswerThroughTheDriver) {
    json s = driver.snapshot();
    EXPECT_EQ((*control(s, "lblCount"))["text"], "0");
    EXPECT_EQ(s["tabBar"]["items"][1]["title"], "Count");
    EXPECT_EQ(s["controls"].back()["displayList"][0],  // the dial's
              json({{"op", "addArc"}, {"values", {50, 50, 50, 0, 1.5, 1}}}));

    // Each step as a front end sends it, its refusal ("" when done) and the counter label after.
    const std::vector<std::tuple<const char*, const char*, const char*>> steps = {
        {R"({"action": "tap", "name": "btnAdd"})", "", "1"},
        {R"({"action": "tap", "name": "ask"})", "", "1"},
        {R"({"action": "tap", "name": "btnAdd"})", "an alert is up", "1"},
        {R"({"action": "answerAlert", "index": 5})", "the alert has no button 5", "1"},
        {R"({"action": "answerAlert", "index": 0})", "", "0"},
        {R"({"action": "tap", "name": "btnAdd"})", "'btnAdd' is disabled", "0"},
        {R"({"action": "tap", "name": "btnNowhere"})", "no control 'btnNowhere' on screen", "0"},
        {R"({"action": "type", "outlet": "txtName", "text": "x"})", "'txtName' is not being edited",
         "0"},
        {R"({"action": "beginEditing", "outlet": "txtName"})", "", "0"},
        {R"({"action": "type", "outlet": "txtName", "text": "Ann"})", "", "0"},
        {R"({"action": "deleteBackward", "outlet": "txtName"})", "", "0"},
        {R"({"action": "return", "outlet": "txtName"})", "", "hello An"},
    };
    for (const auto& [action, refusal, label] : steps) {
        const json answer = driver.perform(json::parse(action));
        EXPECT_EQ(answer.value("error", ""), refusal) << action;
        EXPECT_EQ(answer["ok"], *refusal == '\0') << action;
        EXPECT_EQ((*control(driver.snapshot(), "lblCount"))["text"], label) << action;
    }
    EXPECT_EQ((*control(driver.snapshot(), "txtName"))["editing"], false);
}

TEST_F(DriverTest, TabsTablesModalsAndBadRequestsAsAFrontEndSeesThem) {
    EXPECT_EQ(driver.perform({{"action", "tapTab"}, {"index", 1}}), json({{"ok", true}}));
    json s = driver.snapshot();
    EXPECT_EQ(s["tabBar"]["selectedIndex"], 1);
    const json* table = control(s, "tblRows");
    ASSERT_EQ((*table)["rows"].size(), 3u);
    EXPECT_EQ((*table)["rows"][2]["frame"], json::array({0, 160, 320, 60}));
    EXPECT_EQ((*table)["rows"][2]["controls"][0]["text"], "row 2");
    EXPECT_EQ((*table)["rows"][2]["controls"][0]["frame"], json::array({10, 165, 200, 20}));

    auto& app = dynamic_cast<FakeAppDelegate&>(*Application::sharedApplication().delegate());
    auto& nav = dynamic_cast<NavigationController&>(*app.tabs->selectedViewController());
    nav.topViewController()->presentModalViewController(std::make_unique<CounterScreen>(), true);
    EXPECT_EQ(driver.snapshot()["modal"]["screen"], "CounterScreen");
    EXPECT_EQ(driver.tapTab(0).error(), "a modal screen covers the tab bar");
    EXPECT_TRUE(driver.tap("btnAdd"));  // the modal takes the taps
    EXPECT_EQ((*control(driver.snapshot()["modal"], "lblCount"))["text"], "1");

    for (const json& bad :
         {json("tap"), json({{"action", "tap"}}), json({{"action", "tapTab"}, {"index", "1"}}),
          json({{"action", "fly"}})}) {
        const json answer = driver.perform(bad);
        EXPECT_EQ(answer["ok"], false) << bad.dump();
        EXPECT_TRUE(answer["error"].is_string()) << bad.dump();
    }
    EXPECT_EQ(driver.perform({{"action", "snapshot"}})["snapshot"]["modal"]["screen"],
              "CounterScreen");
}

TEST_F(DriverTest, ApplicationMainRunsTheDelegateTheMainInterfaceNamesUntilTerminated) {
    Application::sharedApplication().reset();
    test::ConsoleCapture console;
    write("MainWindow", R"({"delegateClass": "None"})");
    EXPECT_EQ(Application::applicationMain(0, nullptr), 1);
    write("MainWindow", R"({"delegateClass": "FakeAppDelegate"})");
    RunLoop::main().performAfterDelay(nullptr, 0.0, [] {
        Application& app = Application::sharedApplication();
        EXPECT_NE(dynamic_cast<FakeAppDelegate&>(*app.delegate()).tabs, nullptr);
        app.terminate();
    });
    EXPECT_EQ(Application::applicationMain(0, nullptr), 0);
    EXPECT_TRUE(
        dynamic_cast<FakeAppDelegate&>(*Application::sharedApplication().delegate()).terminated);
}

}  // namespace
}  // namespace kesto
