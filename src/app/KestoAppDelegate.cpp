#include "app/KestoAppDelegate.h"

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "engine/BitmapProcessor.h"
#include "history/RadiationHistoryMng.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/LocalizedStrings.h"
#include "platform/NoDestructor.h"
#include "platform/ThreadCheck.h"
#include "screens/AlertViewController.h"
#include "screens/DetecterDelegate.h"
#include "screens/HelpViewController.h"
#include "screens/HistoryViewController.h"
#include "screens/MeasureViewController.h"
#include "screens/ScreenClasses.h"
#include "toolkit/AlertView.h"
#include "toolkit/Application.h"
#include "toolkit/NavigationController.h"
#include "toolkit/TabBarController.h"
#include "toolkit/Window.h"
#include "toolkit/location/LocationManager.h"

namespace kesto {

namespace {

KestoAppDelegate::PositionSourceFactory& positionSourceFactory() {
    static NoDestructor<KestoAppDelegate::PositionSourceFactory> factory;
    return factory.get();
}

// KESTO_POSITION's source: none when unset, and none (logged) when unreadable.
std::unique_ptr<PositionSource> environmentPositionSource() {
    const char* text = std::getenv("KESTO_POSITION");
    const Result<PositionSpec> spec = PositionSpec::parse(text ? text : "");
    if (!spec) {
        Console::logf("KESTO_POSITION: %s; no positions", spec.error().c_str());
        return makePositionSource(PositionSpec{});
    }
    return makePositionSource(*spec);
}

}  // namespace

void KestoAppDelegate::setPositionSpec(const PositionSpec& spec) {
    KESTO_CHECK_MAIN_THREAD();
    positionSourceFactory() = [spec] { return makePositionSource(spec); };
}

void KestoAppDelegate::setPositionSourceFactory(PositionSourceFactory factory) {
    KESTO_CHECK_MAIN_THREAD();
    positionSourceFactory() = std::move(factory);
}

void KestoAppDelegate::registerClass() {
    Application::DelegateClasses::registerClass(
        "KestoAppDelegate", [] { return std::make_unique<KestoAppDelegate>(); });
}

KestoAppDelegate::KestoAppDelegate() = default;

KestoAppDelegate::~KestoAppDelegate() {
    // The engine outlives the screens: it must not keep the measure screen.
    auto& engine = BitmapProcessor::sharedInstance();
    if (measureViewController_ && engine.delegate() == measureViewController_) {
        engine.setDelegate(nullptr);
    }
    // The location manager first: nothing reaches this object while it goes.
    locationManager_.reset();
    if (window() && window()->rootViewController() == tabBarController_.get()) {
        window()->setRootViewController(nullptr);
    }
}

bool KestoAppDelegate::didFinishLaunchingWithOptions(Application&) {
    KESTO_CHECK_MAIN_THREAD();
    ScreenClasses::registerAll();

    tabBarController_ = std::make_unique<TabBarController>();
    tabBarController_->setDelegate(this);

    std::vector<std::unique_ptr<ViewController>> stacks;
    auto alert = std::make_unique<AlertViewController>();
    alertViewController_ = alert.get();
    stacks.push_back(std::make_unique<NavigationController>(std::move(alert)));

    auto measure = std::make_unique<MeasureViewController>();
    measureViewController_ = measure.get();
    BitmapProcessor::sharedInstance().setDelegate(measureViewController_);
    stacks.push_back(std::make_unique<NavigationController>(std::move(measure)));

    auto history = std::make_unique<HistoryViewController>();
    historyViewController_ = history.get();
    stacks.push_back(std::make_unique<NavigationController>(std::move(history)));

    auto help = std::make_unique<HelpViewController>();
    helpViewController_ = help.get();
    stacks.push_back(std::make_unique<NavigationController>(std::move(help)));

    tabBarController_->setViewControllers(std::move(stacks));
    RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal();

    if (Window* w = window()) {
        w->setRootViewController(tabBarController_.get());
        w->makeKeyAndVisible();
    }
    const Location* last = locationManager().location();
    Console::logf("Latitude:%f", last ? last->latitude() : 0.0);
    return true;
}

DetecterDelegate* KestoAppDelegate::alertViewController() const {
    return alertViewController_;
}

DetecterDelegate* KestoAppDelegate::measureViewController() const {
    return measureViewController_;
}

LocationManager& KestoAppDelegate::locationManager() {
    KESTO_CHECK_MAIN_THREAD();
    if (!locationManager_) {
        const auto& factory = positionSourceFactory();
        locationManager_ =
            std::make_unique<LocationManager>(factory ? factory() : environmentPositionSource());
        locationManager_->setDesiredAccuracy(kLocationAccuracyNearestTenMeters);
        locationManager_->setDelegate(this);
        locationManager_->startUpdatingLocation();
    }
    return *locationManager_;
}

ViewController* KestoAppDelegate::selectedTopScreen() const {
    ViewController* selected =
        tabBarController_ ? tabBarController_->selectedViewController() : nullptr;
    if (auto* nav = dynamic_cast<NavigationController*>(selected)) {
        return nav->topViewController();
    }
    return selected;
}

bool KestoAppDelegate::shouldSelectViewController(TabBarController& tabs,
                                                  ViewController& viewController) {
    KESTO_CHECK_MAIN_THREAD();
    if (&viewController == tabs.selectedViewController()) {
        return true;
    }
    auto* detecter = dynamic_cast<DetecterDelegate*>(selectedTopScreen());
    if (!detecter || !detecter->isRunning()) {
        return true;
    }
    tmpSelectedViewController_ = &viewController;
    AlertView::show(std::make_unique<AlertView>(
        "", detecter->msgAlertIsRunning(), this, LocalizedStrings::localizedString("Yes"),
        std::vector{LocalizedStrings::localizedString("No")}));
    return false;
}

void KestoAppDelegate::clickedButtonAtIndex(AlertView&, int buttonIndex) {
    KESTO_CHECK_MAIN_THREAD();
    if (buttonIndex != 0 || !tmpSelectedViewController_ || !tabBarController_) {
        return;
    }
    ViewController* left = selectedTopScreen();
    // The switch comes first, then the stop.
    tabBarController_->setSelectedViewController(tmpSelectedViewController_);
    tmpSelectedViewController_ = nullptr;
    if (auto* detecter = dynamic_cast<DetecterDelegate*>(left)) {
        detecter->stopDetection();
    }
}

void KestoAppDelegate::didUpdateToLocation(LocationManager& manager, const Location& newLocation,
                                           const Location*) {
    KESTO_CHECK_MAIN_THREAD();
    if (!newLocation.isAcceptableAt(Clock::now(), kMaximumFixAge)) {
        return;
    }
    manager.stopUpdatingLocation();
    myLocation_ = Location(newLocation.latitude(), newLocation.longitude());
}

void KestoAppDelegate::didFailWithError(LocationManager&, const std::string& error) {
    KESTO_CHECK_MAIN_THREAD();
    Console::logf("LocationManager didFail:%s", error.c_str());
}

}  // namespace kesto
