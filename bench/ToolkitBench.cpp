// Toolkit figures: how fast the headless run loop runs simulated time, and
// what a front end's snapshot of a screen costs.
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "platform/Clock.h"
#include "platform/RunLoop.h"
#include "platform/Timer.h"
#include "toolkit/Button.h"
#include "toolkit/Driver.h"
#include "toolkit/Label.h"
#include "toolkit/TabBarController.h"

namespace kesto {
namespace {

// An alert detection's clock: 30 s of 1/14 s ticks (420), manual time.
void BM_ThirtySecondsOfTicks(benchmark::State& state) {
    Clock::setManual(Date::fromUnixSeconds(1300000000.0));
    std::int64_t ticks = 0;
    for (auto _ : state) {
        auto timer = Timer::scheduledTimer(1.0 / 14.0, true, [&] { ++ticks; });
        RunLoop::main().runFor(30.0);
    }
    state.counters["ticks/run"] =
        benchmark::Counter(static_cast<double>(ticks) / static_cast<double>(state.iterations()));
    Clock::useSystemTime();
}
BENCHMARK(BM_ThirtySecondsOfTicks)->Unit(benchmark::kMicrosecond);

class Readout : public ViewController {
  public:
    Readout() : ViewController("Readout") {}

  protected:
    std::unique_ptr<View> loadView() override {
        auto root = std::make_unique<View>();
        root->setFrame(Rect::make(0, 0, 320, 431));
        for (int i = 0; i < 8; ++i) {
            auto label = std::make_unique<Label>();
            label->setFrame(Rect::make(20, 20 + 35 * i, 280, 30));
            label->setText("μSv/h 0.12");
            root->addSubview(std::move(label));
        }
        auto button = std::make_unique<Button>();
        button->setTitle("Save", ControlState::Normal);
        root->addSubview(std::move(button));
        return root;
    }
};

// The read-out screen as a front end fetches it once per refresh.
void BM_Snapshot(benchmark::State& state) {
    auto& app = Application::sharedApplication();
    app.setWindow(std::make_unique<Window>());
    auto tabs = std::make_unique<TabBarController>();
    std::vector<std::unique_ptr<ViewController>> screens;
    screens.push_back(std::make_unique<Readout>());
    tabs->setViewControllers(std::move(screens));
    app.window()->setRootViewController(tabs.get());
    app.window()->makeKeyAndVisible();
    Driver driver;
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = driver.snapshot().dump().size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["json bytes"] = static_cast<double>(bytes);
    app.reset();
}
BENCHMARK(BM_Snapshot)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kesto

BENCHMARK_MAIN();
