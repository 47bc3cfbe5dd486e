// The whole trim search for 0..4 trim resistors (164 830 vectors), as the
// search core does it and the plain way: CalcResults(true) for every vector.
#include <benchmark/benchmark.h>

#include <functional>

#include "trim_search.h"

namespace {

q270::ResultsData readings() {
    q270::ResultsData data;
    for (int i = 1; i <= 20; ++i) {
        data.Mw2[i] = 0.25f * (1.0f + static_cast<float>((i * 37) % 61 - 30) * 1e-6f);
        data.Mw1[i] = data.Mw2[i];
    }
    q270::CalcResults(data, false);
    return data;
}

void BM_TrimSearchAllCounts(benchmark::State& state) {
    const q270::ResultsData data = readings();
    for (auto _ : state) {
        double figure = 0;
        for (int K = 0; K <= q270::kMaxTrimCount; ++K) {
            q270::TrimSearch search(data, K);
            search.run();
            figure += search.best();
        }
        benchmark::DoNotOptimize(figure);
    }
}

// The nested loops with the evaluation of the whole run for each vector.
double plainSearch(q270::ResultsData& data, int K) {
    double best = 1E+30;
    std::function<void(int, int)> loop = [&](int m, int count) {
        if (m > q270::kTrialSteps) {
            if (count > K) return;
            q270::CalcResults(data, true);
            if (data.ErrSq < best) best = data.ErrSq;
            return;
        }
        if (count > K) return;
        for (int c = 0; c < q270::kTrimChoices; ++c) {
            data.ShuntSel[m] = static_cast<std::int16_t>(c);
            loop(m + 1, count + (c != 0 ? 1 : 0));
        }
        data.ShuntSel[m] = 0;
    };
    loop(1, 0);
    return best;
}

void BM_TrimSearchAllCountsPlain(benchmark::State& state) {
    q270::ResultsData data = readings();
    for (auto _ : state) {
        double figure = 0;
        for (int K = 0; K <= q270::kMaxTrimCount; ++K) figure += plainSearch(data, K);
        benchmark::DoNotOptimize(figure);
    }
}

BENCHMARK(BM_TrimSearchAllCounts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrimSearchAllCountsPlain)->Unit(benchmark::kMillisecond);

}  // namespace
