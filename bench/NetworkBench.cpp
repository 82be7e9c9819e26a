// What a reachability answer costs on this machine's kernel: one flag read
// for an address (a route question), for the internet (a dump of the
// routes), the whole upload check (monitor, notifier start and stop, read),
// and a notifier's start and stop alone.
#include <benchmark/benchmark.h>

#include "network/InternetConnection.h"
#include "network/Reachability.h"
#include "platform/ThreadDispatcher.h"

namespace {

using kesto::InternetConnection;
using kesto::Reachability;

// Takes work and drops it: the notifier needs a run loop to start.
class DroppingDispatcher final : public kesto::ThreadDispatcher {
  public:
    void dispatch(std::function<void()>) override {}
};

void BM_LoopbackStatus(benchmark::State& state) {
    auto monitor = Reachability::reachabilityWithAddress(Reachability::socketAddress(0x7F000001));
    for (auto _ : state) {
        benchmark::DoNotOptimize(monitor->currentReachabilityStatus());
    }
}
BENCHMARK(BM_LoopbackStatus);

void BM_InternetStatus(benchmark::State& state) {
    auto monitor = Reachability::reachabilityForInternetConnection();
    for (auto _ : state) {
        benchmark::DoNotOptimize(monitor->currentReachabilityStatus());
    }
}
BENCHMARK(BM_InternetStatus);

void BM_IsReacheable(benchmark::State& state) {
    DroppingDispatcher dispatcher;
    kesto::ThreadDispatcher::setCurrent(&dispatcher);
    for (auto _ : state) {
        benchmark::DoNotOptimize(InternetConnection::isReacheable());
    }
    kesto::ThreadDispatcher::setCurrent(nullptr);
}
BENCHMARK(BM_IsReacheable);

void BM_NotifierStartStop(benchmark::State& state) {
    DroppingDispatcher dispatcher;
    kesto::ThreadDispatcher::setCurrent(&dispatcher);
    auto monitor = Reachability::reachabilityForInternetConnection();
    for (auto _ : state) {
        benchmark::DoNotOptimize(monitor->startNotifer());
        monitor->stopNotifer();
    }
    kesto::ThreadDispatcher::setCurrent(nullptr);
}
BENCHMARK(BM_NotifierStartStop);

}  // namespace

BENCHMARK_MAIN();
