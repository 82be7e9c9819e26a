#include <fstream>
#include <optional>
#include <utility>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/ResourceLocator.h"
#include "support/TestSupport.h"
#include "toolkit/Label.h"
#include "toolkit/Layout.h"
#include "toolkit/ViewController.h"

namespace kesto {
namespace {

using nlohmann::json;

class Pie : public View {};

class TinyScreen : public ViewController {
  public:
    TinyScreen() : ViewController("TinyScreen") {}
    void declareBindings(Bindings& b) override {
        b.outlet("lblTitle", lblTitle);
        b.outlet("pie", pie);
        b.action("go", [] {});
    }
    void viewDidLoad() override { ++loads; }
    Label* lblTitle = nullptr;
    Pie* pie = nullptr;
    int loads = 0;
};

json tinyLayout() {
    return json::parse(R"({"class": "TinyScreen", "view": {"frame": [0, 0, 320, 431], "subviews": [
        {"kind": "label", "outlet": "lblTitle", "frame": [10, 10, 300, 30], "textKey": "Tab_Help",
         "accessibilityLabelKey": "Tab_Alert", "liveUpdates": "timer"},
        {"kind": "button", "action": "go", "frame": [10, 50, 100, 44], "title": "Go"},
        {"kind": "view", "class": "Pie", "outlet": "pie", "frame": [10, 100, 140, 140]}
    ]}})");
}

class LayoutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Layout::ViewClasses::registerClass("Pie", [] { return std::make_unique<Pie>(); });
        ResourceLocator::setResourceDirectory(dir.path());
        std::filesystem::create_directories(dir.path() / "layouts");
    }
    void TearDown() override {
        ResourceLocator::setResourceDirectory({});
        Layout::setTextLookup({});
    }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir.path() / "layouts" / (name + ".json")) << text;
    }

    test::TemporaryDirectory dir;
};

TEST_F(LayoutTest, BindsByNameOrFailsVisiblyAtLoad) {
    Layout::setTextLookup([](const std::string& key) { return "text of " + key; });
    write("TinyScreen", tinyLayout().dump());
    TinyScreen fits;
    auto* const root = fits.view();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(fits.view(), root);  // loaded on first use, then kept
    ASSERT_FALSE(fits.loadFailed());
    EXPECT_EQ(fits.loads, 1);
    EXPECT_EQ(fits.lblTitle->text(), "text of Tab_Help");
    EXPECT_EQ(fits.lblTitle->accessibilityLabel(), "text of Tab_Alert");
    EXPECT_EQ(fits.lblTitle->liveUpdates(), View::LiveUpdates::Timer);
    EXPECT_EQ(fits.pie->className(), "Pie");

    // A layout that does not fit its class fails at load, says why, binds nothing.
    const auto spoil = [](const char* at, const json& value) {
        json layout = tinyLayout();
        layout["view"]["subviews"][json::json_pointer(at)] = value;
        return std::optional(layout.dump());
    };
    const std::pair<std::optional<std::string>, const char*> cases[] = {
        {spoil("/0/outlet", "lblMissing"), "Layout TinyScreen: no outlet 'lblMissing'"},
        {spoil("/1/action", "launch"), "Layout TinyScreen: no action 'launch'"},
        {spoil("/0/kind", "button"), "outlet 'lblTitle' does not take a view of that kind"},
        {spoil("/2/class", "Camembert2"), "unknown view class 'Camembert2'"},
        {spoil("/2/kind", "slider"), "unknown kind 'slider'"},
        {spoil("/2/kind", "label"), "class 'Pie' is not of kind 'label'"},
        {spoil("/0/frame", {1, 2}), "\"frame\" needs 4 numbers"},
        {spoil("/1/tag", "seven"), "malformed value"},
        {spoil("/0/liveUpdates", "loud"), "\"liveUpdates\" is \"polite\" or \"timer\""},
        {"{\"view\": ", "Layout TinyScreen: malformed file"},
        {std::nullopt, "Layout TinyScreen: no layout file layouts/TinyScreen.json"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(expected);
        if (text) {
            write("TinyScreen", *text);
        } else {
            std::filesystem::remove(dir.path() / "layouts" / "TinyScreen.json");
        }
        test::ConsoleCapture console;
        TinyScreen screen;
        View* view = screen.view();
        EXPECT_TRUE(screen.loadFailed());
        EXPECT_TRUE(console.contains(expected));
        EXPECT_EQ(screen.loads, 0) << "viewDidLoad must not run on a half-built screen";
        EXPECT_EQ(screen.lblTitle, nullptr);
        EXPECT_EQ(screen.pie, nullptr);
        ASSERT_EQ(view->subviews().size(), 1u);
        EXPECT_NE(static_cast<Label&>(*view->subviews()[0]).text().find("TinyScreen"),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace kesto
