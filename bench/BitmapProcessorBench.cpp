// Frame analysis cost against the copy it cannot avoid: processBitmap (copy
// and scan) vs memcpy of the same bytes vs a plain per-byte scan. Prints, last,
// "processBitmap/memcpy WxH: R" for each size.
//
// The ratio is not taken from the benchmark table: there the two are timed
// in separate blocks, so a neighbour's load landing on one of them moves the
// ratio by a factor of two or more. It comes from its own run that times the
// two alternately, one call at a time on the same source frame, and divides
// their fastest times: load on the machine only ever adds time, so the
// minimum of many short rounds is what each costs undisturbed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/BitmapProcessor.h"
#include "engine/internal/FrameScanner.h"
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

// A camera profile masking `count` channel values spread over the frame.
kesto::CameraProfile maskOf(std::size_t width, std::size_t height, std::size_t count) {
    kesto::CameraProfile profile;
    profile.threshold = 100;
    profile.lightLimit = 20.0;
    profile.width = width;
    profile.height = height;
    std::mt19937 random(11);
    for (std::size_t i = 0; i < count; ++i) {
        profile.mask.push_back(static_cast<std::uint32_t>(random() % profile.values()));
    }
    std::sort(profile.mask.begin(), profile.mask.end());
    profile.mask.erase(std::unique(profile.mask.begin(), profile.mask.end()), profile.mask.end());
    return profile;
}

// An engine that analyses one frame again and again, and a plain copy of the
// same frame: the two things compared. With `masked` values, the engine
// has a camera profile that leaves them out.
class Workload {
  public:
    Workload(std::size_t width, std::size_t height, std::size_t masked = 0)
        : width_(width),
          height_(height),
          frame_(darkFrame(width, height)),
          copy_(frame_.size()),
          engine_(masked == 0 ? BitmapProcessor::create()
                              : BitmapProcessor::create(maskOf(width, height, masked))) {
        engine_->startAcquisition();
    }

    std::size_t bytes() const { return frame_.size(); }
    const std::vector<std::uint8_t>& frame() const { return frame_; }

    void process() { engine_->processBitmap({frame_.data(), width_, height_, width_ * 4}, 0.0); }
    void copy() {
        std::memcpy(copy_.data(), frame_.data(), frame_.size());
        benchmark::DoNotOptimize(copy_.data());
        benchmark::ClobberMemory();
    }
    // Every frame has hits, so the event list grows: restart it now and
    // then, outside the timed calls.
    bool eventListIsLong() const { return engine_->nbEventDetected() > 10000; }
    void trimEvents() {
        if (eventListIsLong()) {
            engine_->startAcquisition();
        }
    }

  private:
    std::size_t width_;
    std::size_t height_;
    std::vector<std::uint8_t> frame_;
    std::vector<std::uint8_t> copy_;
    std::unique_ptr<BitmapProcessor> engine_;
};

void countBytes(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_ProcessBitmap(benchmark::State& state) {
    Workload work(state.range(0), state.range(1), state.range(2));
    for (auto _ : state) {
        work.process();
        if (work.eventListIsLong()) {
            state.PauseTiming();
            work.trimEvents();
            state.ResumeTiming();
        }
    }
    countBytes(state, work.bytes());
}

void BM_Memcpy(benchmark::State& state) {
    Workload work(state.range(0), state.range(1));
    for (auto _ : state) {
        work.copy();
    }
    countBytes(state, work.bytes());
}

void BM_ReferenceScan(benchmark::State& state) {
    Workload work(state.range(0), state.range(1));
    for (auto _ : state) {
        kesto::ScanTotals totals;
        kesto::FrameScanner::scanReference(work.frame().data(), work.bytes(), 100, totals);
        benchmark::DoNotOptimize(totals);
    }
    countBytes(state, work.bytes());
}

#define KESTO_SIZES ->Args({480, 360})->Args({1920, 1080})->Unit(benchmark::kMicrosecond)
// The third figure: channel values masked by a camera profile.
BENCHMARK(BM_ProcessBitmap)
    ->Args({480, 360, 0})
    ->Args({1920, 1080, 0})
    ->Args({1920, 1080, 64})
    ->Args({1920, 1080, 4096})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy) KESTO_SIZES;
BENCHMARK(BM_ReferenceScan) KESTO_SIZES;

using Clock = std::chrono::steady_clock;

template <typename F>
double secondsOf(F&& call) {
    const auto start = Clock::now();
    call();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Interleaved {
    double process = 0.0;  // fastest processBitmap, seconds
    double copy = 0.0;     // fastest memcpy, seconds
    int rounds = 0;
};

// Times processBitmap and memcpy in alternating rounds, each call on its own,
// for about `budget` seconds in all; the order within a round alternates too,
// so neither always runs on the caches the other has just left.
Interleaved interleaved(std::size_t width, std::size_t height, double budget,
                        std::size_t masked = 0) {
    Workload work(width, height, masked);
    double pair = 1e30;
    for (int i = 0; i < 10; ++i) {  // warm-up: page faults, caches, clock speed
        pair = std::min(pair, secondsOf([&] { work.process(); }) + secondsOf([&] { work.copy(); }));
        work.trimEvents();
    }
    Interleaved best;
    best.rounds = std::clamp(static_cast<int>(budget / pair), 200, 20000);
    best.process = best.copy = 1e30;
    for (int round = 0; round < best.rounds; ++round) {
        double process = 0.0;
        double copy = 0.0;
        if (round % 2 == 0) {
            process = secondsOf([&] { work.process(); });
            copy = secondsOf([&] { work.copy(); });
        } else {
            copy = secondsOf([&] { work.copy(); });
            process = secondsOf([&] { work.process(); });
        }
        best.process = std::min(best.process, process);
        best.copy = std::min(best.copy, copy);
        work.trimEvents();
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    kesto::Console::setSink([](std::string_view) {});
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    struct Size {
        std::size_t width;
        std::size_t height;
    };
    std::vector<std::string> ratios;
    for (const Size size : {Size{480, 360}, Size{1920, 1080}}) {
        const auto best = interleaved(size.width, size.height, 1.0);
        std::printf(
            "interleaved %zux%zu, fastest of %d rounds: processBitmap %.1f us, memcpy %.1f us\n",
            size.width, size.height, best.rounds, best.process * 1e6, best.copy * 1e6);
        char line[96];
        std::snprintf(line, sizeof line, "processBitmap/memcpy %zux%zu: %.2f", size.width,
                      size.height, best.process / best.copy);
        ratios.emplace_back(line);
    }
    for (const std::size_t masked : {64, 4096}) {
        const auto best = interleaved(1920, 1080, 1.0, masked);
        std::printf(
            "interleaved 1920x1080, %zu values masked: processBitmap %.1f us, "
            "memcpy %.1f us, ratio %.2f\n",
            masked, best.process * 1e6, best.copy * 1e6, best.process / best.copy);
    }
    for (const auto& line : ratios) {
        std::puts(line.c_str());
    }
    return 0;
}
