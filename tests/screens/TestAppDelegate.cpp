#include "TestAppDelegate.h"

#include <string>
#include <utility>
#include <vector>

#include "engine/BitmapProcessor.h"
#include "toolkit/Application.h"
#include "toolkit/NavigationController.h"
#include "toolkit/Window.h"

namespace kesto::test {

namespace {

class PlainScreen : public ViewController {
  public:
    explicit PlainScreen(std::string name) : ViewController(std::move(name)) {}

  protected:
    std::unique_ptr<View> loadView() override { return std::make_unique<View>(); }
};

}  // namespace

TestAppDelegate::TestAppDelegate(std::unique_ptr<PositionSource> source)
    : locationManager_(std::move(source)) {}

TestAppDelegate::~TestAppDelegate() {
    BitmapProcessor::sharedInstance().setDelegate(nullptr);
}

TestAppDelegate& TestAppDelegate::launch(std::unique_ptr<PositionSource> source) {
    Application& application = Application::sharedApplication();
    application.setWindow(std::make_unique<Window>());
    auto owned = std::make_unique<TestAppDelegate>(std::move(source));
    TestAppDelegate& delegate = *owned;
    application.setDelegate(std::move(owned));
    delegate.didFinishLaunchingWithOptions(application);
    return delegate;
}

bool TestAppDelegate::didFinishLaunchingWithOptions(Application&) {
    tabs_ = std::make_unique<TabBarController>();
    auto measure = std::make_unique<MeasureViewController>();
    measure_ = measure.get();
    BitmapProcessor::sharedInstance().setDelegate(measure_);
    std::vector<std::unique_ptr<ViewController>> navs;
    auto alert = std::make_unique<AlertViewController>();
    alert_ = alert.get();
    navs.push_back(std::make_unique<NavigationController>(std::move(alert)));
    navs.push_back(std::make_unique<NavigationController>(std::move(measure)));
    navs.push_back(
        std::make_unique<NavigationController>(std::make_unique<PlainScreen>("History")));
    navs.push_back(std::make_unique<NavigationController>(std::make_unique<PlainScreen>("Help")));
    tabs_->setViewControllers(std::move(navs));
    window()->setRootViewController(tabs_.get());
    window()->makeKeyAndVisible();
    return true;
}

}  // namespace kesto::test
