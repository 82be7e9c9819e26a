// Cost of one text lookup as the screens make it: French through gettext,
// English through the fallback table (C locale), and a key without text.
#include <clocale>
#include <cstdlib>

#include <benchmark/benchmark.h>

#include "platform/LocalizedStrings.h"

namespace {

void lookup(benchmark::State& state, const char* lang, const char* key) {
    setenv("LANG", lang, 1);
    unsetenv("LANGUAGE");
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    std::setlocale(LC_ALL, "");
    for (auto _ : state) {
        benchmark::DoNotOptimize(kesto::LocalizedStrings::localizedString(key));
    }
}

BENCHMARK_CAPTURE(lookup, french, "fr_FR.UTF-8", "A_TapToLaunch");
BENCHMARK_CAPTURE(lookup, english_fallback, "C", "A_TapToLaunch");
BENCHMARK_CAPTURE(lookup, missing_key, "fr_FR.UTF-8", "Z_NoSuchKey");

}  // namespace

BENCHMARK_MAIN();
