#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/BitmapProcessor.h"
#include "platform/LocalizedStrings.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "screens/ReglageViewController.h"
#include "toolkit/Button.h"
#include "toolkit/ImageView.h"
#include "toolkit/Label.h"

namespace kesto {
namespace {

class Presenter : public ViewController, public ReglageViewControllerDelegate {
  public:
    Presenter() : ViewController("Presenter") {}
    void lightTurnsGreen() override { heard.push_back(modalViewController() == nullptr); }
    // One entry per call: whether the calibration screen was already closed.
    std::vector<bool> heard;

  protected:
    std::unique_ptr<View> loadView() override { return std::make_unique<View>(); }
};

// A frame report as the engine posts it: [level, limit], or a malformed one.
void post(std::vector<std::int64_t> values) {
    PropertyListValue::Array array;
    for (auto v : values) {
        array.push_back(PropertyListValue::integer(v));
    }
    const auto payload = PropertyListValue::array(std::move(array));
    NotificationCenter::defaultCenter().post(BitmapProcessor::kMatriceImageChanged, nullptr,
                                             values.empty() ? nullptr : &payload);
}

// Reports arrive on the frame thread, as they do from the capture chain.
void postFromFrameThread(const std::vector<std::vector<std::int64_t>>& reports) {
    std::thread([&] {
        for (const auto& report : reports) {
            post(report);
        }
    }).join();
}

class ReglageTest : public ::testing::Test {
  protected:
    ReglageViewController& present() {
        presenter.beginAppearance(false);
        auto owned = std::make_unique<ReglageViewController>();
        owned->setDelegate(&presenter);
        presenter.presentModalViewController(std::move(owned), true);
        return dynamic_cast<ReglageViewController&>(*presenter.modalViewController());
    }
    void TearDown() override { RunLoop::main().runPending(); }
    Presenter presenter;
};

TEST_F(ReglageTest, EachVerdictShowsTheLatestReport) {
    struct Row {
        const char* state;
        std::vector<std::vector<std::int64_t>> reports;
        const char* image;
        bool okEnabled;
    };
    const std::vector<Row> rows = {
        {"not masked before any report (as laid out)", {}, "btn_stop.png", false},
        {"masked: level equal to the limit", {{20, 20}}, "btn_start.png", true},
        {"not masked: one above the limit", {{21, 20}}, "btn_stop.png", false},
        {"masked then lit", {{20, 20}, {21, 20}}, "btn_stop.png", false},
        {"lit then masked", {{21, 20}, {20, 20}, {21, 20}, {0, 20}}, "btn_start.png", true},
        {"a short report changes nothing", {{20, 20}, {99}}, "btn_start.png", true},
        {"a report without payload changes nothing", {{21, 20}, {}}, "btn_stop.png", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.state);
        ReglageViewController& screen = present();
        postFromFrameThread(row.reports);
        RunLoop::main().runPending();
        ASSERT_TRUE(screen.statusImgView->image());
        EXPECT_EQ(screen.statusImgView->image()->name(), row.image);
        EXPECT_EQ(screen.okBtn->isEnabled(), row.okEnabled);
        presenter.dismissModalViewControllerAnimated(false);
        RunLoop::main().runPending();
    }
}

TEST_F(ReglageTest, FirstMessageNamesTheModelToCover) {
    for (const auto& [machine, key] :
         {std::pair{"iPhone3,1", "C_Msg1_iPhone4"}, std::pair{"x86_64", "C_Msg1_notIPhone4"}}) {
        setenv("KESTO_MACHINE", machine, 1);
        ReglageViewController& screen = present();
        EXPECT_EQ(screen.lblMsg1->text(), LocalizedStrings::localizedString(key)) << machine;
        EXPECT_EQ(screen.lblMsg3->text(), LocalizedStrings::localizedString("C_Msg3"));
        EXPECT_EQ(screen.okBtn->titleForState(ControlState::Normal),
                  LocalizedStrings::localizedString("Ok"));
        presenter.dismissModalViewControllerAnimated(false);
        RunLoop::main().runPending();
    }
    unsetenv("KESTO_MACHINE");
}

TEST_F(ReglageTest, OkClosesFirstThenTellsTheDelegateOnce) {
    ReglageViewController& screen = present();
    post({20, 20});
    postFromFrameThread({{21, 20}});  // queued, not yet shown
    ASSERT_TRUE(screen.okBtn->sendAction());
    EXPECT_EQ(presenter.heard, std::vector<bool>{true});
    EXPECT_TRUE(screen.okBtn->isEnabled());  // the queued verdict never reached it
    RunLoop::main().runPending();            // destroyed now
    post({21, 20});                          // reaches nobody
    postFromFrameThread({{21, 20}});
    RunLoop::main().runPending();
    EXPECT_EQ(presenter.heard, std::vector<bool>{true});
}

}  // namespace
}  // namespace kesto
