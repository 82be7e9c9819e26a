#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/BitmapProcessor.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "screens/ReglageViewController.h"
#include "toolkit/Button.h"
#include "toolkit/ImageView.h"

namespace kesto {
namespace {

class Presenter : public ViewController {
  public:
    Presenter() : ViewController("Presenter") {}
    ReglageViewController& present() {
        presentModalViewController(std::make_unique<ReglageViewController>(), true);
        return dynamic_cast<ReglageViewController&>(*modalViewController());
    }

  protected:
    std::unique_ptr<View> loadView() override { return std::make_unique<View>(); }
};

// Frame reports [level, limit] (or malformed ones), posted on a frame thread.
void postFromFrameThread(const std::vector<std::vector<std::int64_t>>& reports) {
    std::thread([&] {
        for (const auto& values : reports) {
            PropertyListValue::Array array;
            for (auto v : values) {
                array.push_back(PropertyListValue::integer(v));
            }
            const auto payload = PropertyListValue::array(std::move(array));
            NotificationCenter::defaultCenter().post(BitmapProcessor::kMatriceImageChanged, nullptr,
                                                     values.empty() ? nullptr : &payload);
        }
    }).join();
}

TEST(ReglageTest, MaskedOrNotFollowsTheLatestReport) {
    struct Row {
        const char* state;
        std::vector<std::vector<std::int64_t>> reports;
        bool masked;  // status image and OK button
    };
    const std::vector<Row> rows = {
        {"not masked before any report (as laid out)", {}, false},
        {"masked: level equal to the limit", {{20, 20}}, true},
        {"not masked: one above the limit", {{21, 20}}, false},
        {"lit then masked and back, ending masked", {{21, 20}, {20, 20}, {21, 20}, {0, 20}}, true},
        {"a short report changes nothing", {{20, 20}, {99}}, true},
        {"a report without payload changes nothing", {{21, 20}, {}}, false},
    };
    Presenter presenter;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.state);
        ReglageViewController& screen = presenter.present();
        postFromFrameThread(row.reports);
        RunLoop::main().runPending();
        EXPECT_EQ(screen.statusImgView->image()->name(),
                  row.masked ? "btn_start.png" : "btn_stop.png");
        EXPECT_EQ(screen.okBtn->isEnabled(), row.masked);
        presenter.dismissModalViewControllerAnimated(false);
        RunLoop::main().runPending();
    }
}

}  // namespace
}  // namespace kesto
