#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/KestoAppDelegate.h"
#include "app/ShellLauncher.h"
#include "camera/CaptureBackend.h"
#include "camera/SimulatedSensor.h"
#include "history/RadiationHistoryMng.h"
#include "screens/MeasureViewController.h"
#include "support/TestSupport.h"
#include "toolkit/Driver.h"

namespace kesto {
namespace {

TEST(ShellEndToEndTest, AMeasurementSavedWithATagReachesTheHistoryAndItsFile) {
    setenv("KESTO_SENSOR", "sim:rate=0,seed=1,size=64x48", 0);
    test::ManualClock clock;
    test::TemporaryDirectory directory;
    RadiationHistoryMng::resetForTesting(directory.path());
    CaptureBackend::current().simulatedSensor()->setRate(SimulatedSensor::kSaturationRate);
    PositionSpec place;
    place.kind = PositionSpec::Kind::Fixed;
    place.latitude = 45.5;
    KestoAppDelegate::setPositionSpec(place);
    std::string problem;
    ASSERT_TRUE(ShellLauncher::launchHeadless(problem)) << problem;
    auto& loop = RunLoop::main();

    Driver driver;
    ASSERT_FALSE(driver.tapTab(1));
    ASSERT_FALSE(driver.tap("toggleDetection"));
    loop.runFor(5.0);
    ASSERT_FALSE(driver.tap("btnSaveClicked"));
    ASSERT_FALSE(driver.answerAlert(0));  // stop and save
    ASSERT_FALSE(driver.beginEditing("txtTag"));
    ASSERT_FALSE(driver.typeText("txtTag", "Garden"));
    ASSERT_FALSE(driver.tap("btnSave"));
    loop.runFor(0.1);
    ASSERT_TRUE(MeasureViewController::waitForUploads(10.0));

    const auto snapshot = driver.snapshot();
    EXPECT_EQ(snapshot["screen"], "HistoryViewController");
    EXPECT_NE(snapshot["controls"].dump().find("Garden"), std::string::npos);
    EXPECT_EQ(RadiationHistoryMng::historyFilePath().parent_path().filename(), "simulated");
    std::stringstream saved;
    saved << std::ifstream(RadiationHistoryMng::historyFilePath()).rdbuf();
    EXPECT_NE(saved.str().find("<string>Garden</string>"), std::string::npos) << saved.str();
    EXPECT_NE(saved.str().find("<real>45.5"), std::string::npos) << "the start-up's position";

    Application::sharedApplication().reset();
    KestoAppDelegate::setPositionSourceFactory(nullptr);
    loop.runPending();
}

}  // namespace
}  // namespace kesto
