// One trimmed evaluation of a linearity run: the trim search repeats it for
// every combination it tries (164 830 of them for up to four trim resistors).
#include <benchmark/benchmark.h>

#include "evaluation.h"

namespace {

void BM_CalcResultsTrimmed(benchmark::State& state) {
    q270::ResultsData data;
    for (int i = 1; i <= 20; ++i) {
        data.Mw2[i] = 0.25f * (1.0f + static_cast<float>((i * 37) % 23 - 11) * 1e-6f);
        data.Mw1[i] = data.Mw2[i];
    }
    q270::CalcResults(data, false);
    int round = 0;
    for (auto _ : state) {
        // A different set of four trim resistors each time, as in a search.
        data.ShuntSel.fill(0);
        for (int t = 0; t < 4; ++t)
            data.ShuntSel[1 + (round + 3 * t) % 10] =
                static_cast<std::int16_t>(1 + (round + t) % 5);
        ++round;
        q270::CalcResults(data, true);
        benchmark::DoNotOptimize(data.ErrSq);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_CalcResultsTrimmed)->Unit(benchmark::kNanosecond);

}  // namespace
