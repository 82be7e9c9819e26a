#include "toolkit/Application.h"

#include <nlohmann/json.hpp>

#include "platform/Console.h"
#include "platform/NoDestructor.h"
#include "platform/RunLoop.h"
#include "platform/SignalWatch.h"
#include "platform/ThreadCheck.h"
#include "toolkit/Layout.h"

namespace kesto {

void ApplicationDelegate::applicationWillTerminate(Application&) {}

Application& Application::sharedApplication() {
    static NoDestructor<Application> application;
    return application.get();
}

void Application::setDelegate(std::unique_ptr<ApplicationDelegate> delegate) {
    KESTO_CHECK_MAIN_THREAD();
    delegate_ = std::move(delegate);
    if (delegate_) {
        delegate_->setWindow(window_.get());
    }
}

void Application::setWindow(std::unique_ptr<Window> window) {
    KESTO_CHECK_MAIN_THREAD();
    window_ = std::move(window);
    if (delegate_) {
        delegate_->setWindow(window_.get());
    }
}

bool Application::launch(std::string_view mainInterface) {
    KESTO_CHECK_MAIN_THREAD();
    // Services started at launch call back through the main thread's dispatcher.
    RunLoop::main();
    const auto document = Layout::read(mainInterface);
    if (!document) {
        return false;
    }
    const auto name = document->value("delegateClass", std::string());
    auto delegate = DelegateClasses::create(name);
    if (!delegate) {
        Console::logf("Layout %.*s: unknown application delegate class '%s'",
                      static_cast<int>(mainInterface.size()), mainInterface.data(), name.c_str());
        return false;
    }
    Rect frame = Rect::make(0, 0, 320, 480);
    const auto& w = (*document)["window"];
    if (w.is_object() && w.contains("frame") && w["frame"].is_array() && w["frame"].size() == 4) {
        const auto& f = w["frame"];
        if (f[0].is_number() && f[1].is_number() && f[2].is_number() && f[3].is_number()) {
            frame = Rect::make(f[0].get<double>(), f[1].get<double>(), f[2].get<double>(),
                               f[3].get<double>());
        }
    }
    setWindow(std::make_unique<Window>(frame));
    setDelegate(std::move(delegate));
    return delegate_->didFinishLaunchingWithOptions(*this);
}

void Application::terminate() {
    KESTO_CHECK_MAIN_THREAD();
    if (delegate_) {
        delegate_->applicationWillTerminate(*this);
    }
    RunLoop::main().stop();
}

void Application::reset() {
    KESTO_CHECK_MAIN_THREAD();
    alerts_.clear();
    delegate_.reset();
    window_.reset();
    idleTimerDisabled_ = false;
}

int Application::applicationMain(int, char**) {
    KESTO_CHECK_MAIN_THREAD();
    auto& app = sharedApplication();
    auto& loop = RunLoop::main();
    // SIGINT/SIGTERM/SIGHUP end the loop cleanly: read as events, not handled
    // asynchronously.
    const SignalWatch signals(loop, [&app](int) { app.terminate(); });
    if (!app.launch()) {
        Console::log("Application: launch failed");
        return 1;
    }
    loop.run();
    return 0;
}

void Application::showAlert(std::unique_ptr<AlertView> alert) {
    KESTO_CHECK_MAIN_THREAD();
    if (alert) {
        alerts_.push_back(std::move(alert));
    }
}

AlertView* Application::visibleAlert() const {
    return alerts_.empty() ? nullptr : alerts_.back().get();
}

bool Application::answerAlert(int index) {
    KESTO_CHECK_MAIN_THREAD();
    if (alerts_.empty() || index < 0 || index >= alerts_.back()->numberOfButtons()) {
        return false;
    }
    auto alert = std::move(alerts_.back());
    alerts_.pop_back();
    if (AlertViewDelegate* d = alert->delegate()) {
        d->clickedButtonAtIndex(*alert, index);
    }
    RunLoop::main().releaseLater(std::move(alert));
    return true;
}

}  // namespace kesto
