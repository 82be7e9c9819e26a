// The saved-measurement history at a realistic worst size: 1,000 records of
// 100 events. Where a load's time goes (libplist record by record, or the
// whole document at once), and what one registration costs (insert first,
// then the whole file rewritten and flushed to disk).
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include <benchmark/benchmark.h>

#include "history/AtomicFile.h"
#include "history/RadiationHistoryMng.h"
#include "history/file/HistoryFile.h"
#include "history/internal/HistoryParser.h"
#include "platform/Console.h"

namespace {

using namespace kesto;

HistoryFile::RecordList makeHistory(int records, int events) {
    std::mt19937_64 random(1);
    std::uniform_real_distribution<double> step(0.0, 3.0);
    HistoryFile::RecordList list;
    for (int i = 0; i < records; ++i) {
        auto record = std::make_shared<RadiationHistoryRecord>();
        record->setUdid("0123456789abcdef0123456789abcdef01234567");
        record->setTag("Mesure " + std::to_string(i));
        record->setStartDate(Date::fromUnixSeconds(1300000000.0 + 1000.0 * i));
        double t = 0.0;
        std::vector<RadiationEvent> list_;
        for (int e = 0; e < events; ++e) {
            t += step(random);
            list_.emplace_back(t, 1 + e % 12);
        }
        record->setStopDate(record->startDate()->addingTimeInterval(t + 1.0));
        record->setLatitude(48.8 + step(random) / 3.0);
        record->setLongitude(2.3 - step(random));
        record->setRadionEvents(std::move(list_));
        list.push_back(std::move(record));
    }
    return list;
}

const std::string& historyBytes() {
    static const std::string bytes = *HistoryFile::serialize(makeHistory(1000, 100));
    return bytes;
}

void LoadByRecord(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(HistoryFile::parse(historyBytes()));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(historyBytes().size()));
}
BENCHMARK(LoadByRecord)->Unit(benchmark::kMillisecond);

void LoadWholeDocument(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            HistoryParser::parse(historyBytes(), HistoryParser::Reader::WholeDocument));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(historyBytes().size()));
}
BENCHMARK(LoadWholeDocument)->Unit(benchmark::kMillisecond);

void Serialize(benchmark::State& state) {
    const auto history = makeHistory(1000, 100);
    for (auto _ : state) {
        benchmark::DoNotOptimize(HistoryFile::serialize(history));
    }
}
BENCHMARK(Serialize)->Unit(benchmark::kMillisecond);

// One registerRadiationHistoryRecord on a history of 1,000 x 100, in a
// directory under $TMPDIR (or /tmp): the disk flush counts.
void Register1000x100(benchmark::State& state) {
    const char* base = std::getenv("TMPDIR");
    const std::filesystem::path dir =
        std::filesystem::path(base ? base : "/tmp") / ("kesto-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    (void)AtomicFile::replace(dir / RadiationHistoryMng::kHistoryFileName, historyBytes());
    const auto previous = Console::setSink([](std::string_view) {});
    RadiationHistoryMng::resetForTesting(dir);
    RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal();
    const auto extra = makeHistory(1, 100)[0];
    for (auto _ : state) {
        RadiationHistoryMng::registerRadiationHistoryRecord(extra);
    }
    Console::setSink(previous);
    std::filesystem::remove_all(dir);
}
BENCHMARK(Register1000x100)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
