#include "app/HeadlessFrontEnd.h"

#include <chrono>

#include "app/ShellLauncher.h"
#include "history/RadiationHistoryMng.h"
#include "platform/Clock.h"
#include "platform/RunLoop.h"
#include "screens/Camembert.h"
#include "screens/MeasureViewController.h"
#include "toolkit/AlertView.h"
#include "toolkit/Button.h"
#include "toolkit/ImageView.h"
#include "toolkit/Label.h"
#include "toolkit/ViewController.h"

namespace kesto {
namespace {

constexpr const char* kCalibrationScreen = "ReglageViewController";

}  // namespace

HeadlessFrontEnd::HeadlessFrontEnd(std::ostream& out, ProgressReport::Style style)
    : report_(out, style), signals_(RunLoop::main(), [this](int) {
          ++interruptions_;
          RunLoop::main().stop();
      }) {}

HeadlessFrontEnd::~HeadlessFrontEnd() {
    Application::sharedApplication().reset();
}

Result<void> HeadlessFrontEnd::launch(const ApplicationOptions& options) {
    if (auto applied = options.apply(); !applied) {
        return applied;
    }
    return launch();
}

Result<void> HeadlessFrontEnd::launch() {
    if (auto launched = ShellLauncher::launchHeadless(); !launched) {
        return launched;
    }
    settle();
    return {};
}

std::string HeadlessFrontEnd::text(std::string_view outlet) const {
    View* view = driver_.findControl(outlet);
    if (const auto* label = dynamic_cast<const Label*>(view)) {
        return label->text();
    }
    if (const auto* button = dynamic_cast<const Button*>(view)) {
        return button->currentTitle().value_or("");
    }
    return {};
}

std::string HeadlessFrontEnd::image(std::string_view outlet) const {
    View* view = driver_.findControl(outlet);
    std::optional<Image> shown;
    if (const auto* imageView = dynamic_cast<const ImageView*>(view)) {
        shown = imageView->image();
    } else if (const auto* button = dynamic_cast<const Button*>(view)) {
        shown = button->currentImage();
    }
    return shown ? shown->name() : std::string();
}

bool HeadlessFrontEnd::isEnabled(std::string_view outlet) const {
    const auto* button = dynamic_cast<const Button*>(driver_.findControl(outlet));
    return button != nullptr && button->isEnabled();
}

double HeadlessFrontEnd::pieProgress(std::string_view outlet) const {
    const auto* pie = dynamic_cast<const Camembert*>(driver_.findControl(outlet));
    return pie != nullptr ? pie->progress() : 0.0;
}

std::string HeadlessFrontEnd::topScreen() const {
    const ViewController* screen = driver_.topScreen();
    return screen ? screen->nibName() : std::string();
}

std::string HeadlessFrontEnd::tabScreen() const {
    const ViewController* screen = driver_.tabScreen();
    return screen ? screen->nibName() : std::string();
}

void HeadlessFrontEnd::runFor(double seconds) {
    const int before = interruptions_;
    RunLoop& loop = RunLoop::main();
    const Date until = Clock::now().addingTimeInterval(seconds);
    // An interruption stops the loop: the front end decides what it means.
    while (interruptions_ == before && Clock::now() < until) {
        loop.runUntil(until);
    }
}

void HeadlessFrontEnd::settle() {
    RunLoop::main().runPending();
}

bool HeadlessFrontEnd::waitForUploads() {
    using SteadyClock = std::chrono::steady_clock;
    const auto deadline =
        SteadyClock::now() + RadiationHistoryMng::kUploadTimeout + std::chrono::seconds(5);
    const int before = interruptions_;
    while (MeasureViewController::uploadsInFlight() > 0) {
        if (SteadyClock::now() >= deadline || interruptions_ > before) {
            return false;
        }
        (void)MeasureViewController::waitForUploads(0.1);
        settle();  // reads an interruption meanwhile
    }
    return true;
}

bool HeadlessFrontEnd::followCalibration() {
    if (topScreen() != kCalibrationScreen) {
        calibrationSince_.reset();
        return false;
    }
    if (!calibrationSince_) {
        calibrationSince_ = Clock::now();
    }
    if (!instructionsShown_) {
        instructionsShown_ = true;
        std::string instructions = "Light reaches the sensor.";
        for (const char* outlet : {"lblMsg1", "lblMsg2", "lblMsg3"}) {
            if (const std::string line = text(outlet); !line.empty()) {
                instructions += "\n" + line;
            }
        }
        report_.message(instructions, {{"event", "light"}, {"instructions", instructions}});
    }
    if (isEnabled("okBtn")) {
        (void)driver_.tap("okBtn");
        settle();
    }
    return true;
}

bool HeadlessFrontEnd::darknessWaitIsOver() const {
    return calibrationSince_ && Clock::now().timeIntervalSince(*calibrationSince_) >= kDarknessWait;
}

std::optional<std::string> HeadlessFrontEnd::dismissAlert() {
    const AlertView* alert = Application::sharedApplication().visibleAlert();
    if (alert == nullptr) {
        return std::nullopt;
    }
    std::string message = alert->message();
    (void)driver_.answerAlert(0);
    settle();
    return message;
}

}  // namespace kesto
