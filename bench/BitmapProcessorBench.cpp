// Frame analysis cost against the copy it cannot avoid: processBitmap (copy
// and scan) vs memcpy of the same bytes vs a plain per-byte scan. Prints, last,
// "processBitmap/memcpy WxH: R" for each size.
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/BitmapProcessor.h"
#include "engine/FrameScanner.h"
#include "platform/Console.h"

namespace {

using kesto::BitmapProcessor;

// Dark sensor noise with a handful of particle hits.
std::vector<std::uint8_t> darkFrame(std::size_t width, std::size_t height) {
    std::vector<std::uint8_t> bytes(width * height * 4);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(0, 12);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = (i % 4 == 3) ? 255 : static_cast<std::uint8_t>(noise(random));
    }
    for (int hit = 0; hit < 5; ++hit) {
        bytes[(random() % (width * height)) * 4 + hit % 3] = 230;
    }
    return bytes;
}

void countBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0) *
                            state.range(1) * 4);
}

void BM_ProcessBitmap(benchmark::State& state) {
    const auto w = static_cast<std::size_t>(state.range(0));
    const auto h = static_cast<std::size_t>(state.range(1));
    const auto frame = darkFrame(w, h);
    kesto::Console::setSink([](std::string_view) {});
    auto engine = BitmapProcessor::create();
    engine->startAcquisition();
    for (auto _ : state) {
        engine->processBitmap({frame.data(), w, h, w * 4}, 0.0);
        if (engine->nbEventDetected() > 10000) {
            state.PauseTiming();
            engine->startAcquisition();
            state.ResumeTiming();
        }
    }
    countBytes(state);
}

void BM_Memcpy(benchmark::State& state) {
    const auto w = static_cast<std::size_t>(state.range(0));
    const auto h = static_cast<std::size_t>(state.range(1));
    const auto frame = darkFrame(w, h);
    std::vector<std::uint8_t> copy(frame.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), frame.data(), frame.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    countBytes(state);
}

void BM_ReferenceScan(benchmark::State& state) {
    const auto w = static_cast<std::size_t>(state.range(0));
    const auto h = static_cast<std::size_t>(state.range(1));
    const auto frame = darkFrame(w, h);
    for (auto _ : state) {
        kesto::ScanTotals totals;
        kesto::FrameScanner::scanReference(frame.data(), frame.size(), 100, totals);
        benchmark::DoNotOptimize(totals);
    }
    countBytes(state);
}

#define KESTO_SIZES ->Args({480, 360})->Args({1920, 1080})->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_ProcessBitmap) KESTO_SIZES;
BENCHMARK(BM_Memcpy) KESTO_SIZES;
BENCHMARK(BM_ReferenceScan) KESTO_SIZES;

// Keeps each run's real time per iteration, to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                times_[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatios() const {
        for (const char* size : {"480/360", "1920/1080"}) {
            const auto p = times_.find(std::string("BM_ProcessBitmap/") + size);
            const auto m = times_.find(std::string("BM_Memcpy/") + size);
            if (p == times_.end() || m == times_.end() || m->second <= 0) {
                continue;
            }
            std::string dims = size;
            dims[dims.find('/')] = 'x';
            std::printf("processBitmap/memcpy %s: %.2f\n", dims.c_str(), p->second / m->second);
        }
    }

  private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    reporter.printRatios();
    return 0;
}
