// The capture chain's own cost per frame, beside the engine's: rendering one
// simulated 480 × 360 frame, and one frame through a running simulated chain
// (render, queue hand-over, engine copy and scan). At 10 frames a second,
// the per-frame time × 10 is the share of one core a measurement costs.
#include <benchmark/benchmark.h>

#include "camera/OrvVideoStreamController.h"
#include "camera/SimulatedCaptureBackend.h"
#include "camera/SimulatedSensor.h"
#include "engine/BitmapProcessor.h"
#include "platform/Clock.h"
#include "platform/Console.h"

namespace {

using namespace kesto;

void BM_SimulatedSensorRender(benchmark::State& state) {
    Console::setSink([](std::string_view) {});
    SimulatedSensor sensor(480, 360, 1, static_cast<double>(state.range(0)), false);
    std::vector<std::uint8_t> buffer;
    std::uint64_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(sensor.renderFrame(k++, buffer).baseAddress);
    }
    Console::setSink({});
}
BENCHMARK(BM_SimulatedSensorRender)->Arg(0)->Arg(2000);

void BM_SimulatedChainFrame(benchmark::State& state) {
    Console::setSink([](std::string_view) {});
    Clock::setManual(Date::fromUnixSeconds(1300000000.0));
    SensorSpec spec;
    spec.kind = SensorSpec::Kind::Simulated;
    spec.seed = 1;
    spec.rate = static_cast<double>(state.range(0));
    {
        SimulatedCaptureBackend backend(spec);
        auto engine = BitmapProcessor::create();
        engine->startAcquisition();
        OrvVideoStreamController controller(backend, *engine);
        controller.setupVideoChain();
        controller.activateVideoChain(true);
        for (auto _ : state) {
            Clock::advance(0.1);
            benchmark::DoNotOptimize(controller.session()->deliverDueFrames());
        }
        controller.activateVideoChain(false);
        controller.deleteVideoChain();
    }
    Clock::useSystemTime();
    Console::setSink({});
}
BENCHMARK(BM_SimulatedChainFrame)->Arg(0)->Arg(2000)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
