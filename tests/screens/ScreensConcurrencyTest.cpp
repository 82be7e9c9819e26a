#include <atomic>
#include <memory>
#include <thread>

#include "ScreensFixture.h"
#include "history/LoopbackServer.h"
#include "platform/NotificationCenter.h"
#include "screens/ReglageViewController.h"
#include "toolkit/Button.h"

namespace kesto::test {
namespace {

class Presenter : public ViewController, public ReglageViewControllerDelegate {
  public:
    Presenter() : ViewController("Presenter") {}
    void lightTurnsGreen() override {}

  protected:
    std::unique_ptr<View> loadView() override { return std::make_unique<View>(); }
};

// Reports keep coming from the frame thread while calibration screens come
// and go: none may reach (or queue work for) a screen that is gone.
TEST(ScreensConcurrencyTest, CalibrationScreensComeAndGoWhileFramesArrive) {
    std::atomic<bool> stop{false};
    // Reports the frame thread may post so far: the main loop can drain them.
    std::atomic<std::int64_t> allowed{0};
    std::thread frames([&] {
        for (std::int64_t level = 0; !stop.load(); ++level) {
            while (level >= allowed.load() && !stop.load()) {
                std::this_thread::yield();
            }
            const auto payload = PropertyListValue::array(
                {PropertyListValue::integer((level / 40) % 2 == 0 ? 10 : 50),
                 PropertyListValue::integer(30)});
            NotificationCenter::defaultCenter().post(BitmapProcessor::kMatriceImageChanged, nullptr,
                                                     &payload);
        }
    });
    Presenter presenter;
    presenter.beginAppearance(false);
    for (int i = 0; i < 300; ++i) {
        auto screen = std::make_unique<ReglageViewController>();
        screen->setDelegate(&presenter);
        ReglageViewController* shown = screen.get();
        allowed += 40;
        presenter.presentModalViewController(std::move(screen), true);
        for (int pass = 0; pass < i % 4; ++pass) {
            RunLoop::main().runPending();
        }
        if (!shown->okBtn->sendAction()) {  // disabled: closed from elsewhere
            presenter.dismissModalViewControllerAnimated(true);
        }
        RunLoop::main().runPending();  // destroyed here, reports still coming
    }
    stop = true;
    frames.join();
    RunLoop::main().runPending();
    EXPECT_EQ(presenter.modalViewController(), nullptr);
}

class UploadConcurrencyTest : public ScreensFixture {};

// Each upload thread reads its own record while the main thread stores the
// next measurement and the frame thread fills the engine again.
TEST_F(UploadConcurrencyTest, UploadsRunWhileTheNextMeasurementGoesOn) {
    LoopbackServer server(LoopbackServer::response(200, "OK"));
    setReachable(true);
    RadiationHistoryMng::setServerURL(server.baseURL());
    sensor().setRate(SimulatedSensor::kSaturationRate);
    for (int i = 0; i < 3; ++i) {
        (void)driver.tapTab(1);
        ASSERT_TRUE(driver.tap("toggleDetection"));
        run(2.0);
        ASSERT_TRUE(driver.tap("btnSaveClicked"));
        ASSERT_TRUE(driver.answerAlert(0));
        ASSERT_TRUE(driver.beginEditing("txtTag"));
        ASSERT_TRUE(driver.typeText("txtTag", "run " + std::to_string(i)));
        ASSERT_TRUE(driver.tap("btnSave"));
    }
    (void)driver.tapTab(1);
    ASSERT_TRUE(driver.tap("toggleDetection"));
    run(2.0);
    ASSERT_TRUE(MeasureViewController::waitForUploads(20.0));
    EXPECT_EQ(server.requests().size(), 3U);
}

}  // namespace
}  // namespace kesto::test
