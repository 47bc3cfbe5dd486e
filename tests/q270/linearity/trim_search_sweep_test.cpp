// The whole trim search for 0..4 trim resistors, every vector against the plain
// evaluation (CalcResults(true)): ErrSq as the search works it out side by
// side, ErrSq and LinErr of each reported vector, and the improvements, on
// readings of every kind the evaluation can meet.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "same_bits.h"
#include "trim_search.h"

namespace q270 {
namespace {

using zdx::testing::sameBits;

ResultsData withReadings(const std::function<double(int, unsigned&)>& reading) {
    ResultsData d;
    unsigned state = 12345u;
    for (int i = 1; i <= 20; ++i) {
        d.Mw2[i] = static_cast<float>(reading(i, state));
        d.Mw1[i] = d.Mw2[i];
    }
    CalcResults(d, false);
    return d;
}

unsigned nextRandom(unsigned& state) {
    state = state * 1103515245u + 12345u;
    return state >> 8;
}

struct DataSet {
    std::string name;
    ResultsData data;
};

std::vector<DataSet> dataSets() {
    std::vector<DataSet> sets;
    sets.push_back({"random +-30 ppm", withReadings([](int, unsigned& s) {
                        return 0.25 * (1.0 + (nextRandom(s) % 60001 / 1000.0 - 30.0) * 1e-6);
                    })});
    sets.push_back({"equal readings", withReadings([](int, unsigned&) { return 0.25; })});
    sets.push_back({"+-5 % and a reading of 0", withReadings([](int i, unsigned& s) {
                        if (i == 13) return 0.0;
                        return 0.25 * (1.0 + (nextRandom(s) % 100001 / 1000.0 - 50.0) * 1e-3);
                    })});
    sets.push_back({"magnitudes 1e-30 .. 1e30", withReadings([](int i, unsigned&) {
                        return i % 3 == 0 ? 1e-30 : i % 3 == 1 ? 1e30 : -7.5;
                    })});
    sets.push_back({"readings in the subnormal range",
                    withReadings([](int i, unsigned&) { return 1e-41 * (1.0 + i * 0.01); })});
    sets.push_back({"readings that sum to nothing",
                    withReadings([](int i, unsigned&) { return i <= 10 ? 1.0 : -1.0; })});
    ResultsData kept = withReadings([](int, unsigned& s) {
        return 0.25 * (1.0 + (nextRandom(s) % 2001 / 1000.0 - 1.0) * 1e-4);
    });
    kept.ShuntSel[11] = 5;
    kept.ShuntSel[16] = 2;
    kept.ShuntSel[19] = 9;  // counts as no trim resistor
    sets.push_back({"kept trim resistors of the upward sweep", kept});
    ResultsData open = sets.front().data;
    open.ShuntRoot[0] = 0.99999f;
    open.ShuntRatio[0] = 0.99998f;
    sets.push_back({"an open circuit that is not 1", open});
    return sets;
}

void forEachVector(int K, const std::function<void(const TrialVector&)>& visit) {
    TrialVector v{};
    std::function<void(int, int)> loop = [&](int m, int count) {
        if (m > kTrialSteps) {
            visit(v);
            return;
        }
        for (int c = 0; c < kTrimChoices; ++c) {
            if (count + (c != 0 ? 1 : 0) > K) break;
            v[m] = static_cast<std::int16_t>(c);
            loop(m + 1, count + (c != 0 ? 1 : 0));
        }
        v[m] = 0;
    };
    loop(1, 0);
}

TEST(TrimSearchSweep, EveryVectorBitForBitAsThePlainEvaluation) {
    for (const DataSet& set : dataSets()) {
        SCOPED_TRACE(set.name);
        for (int K = 0; K <= kMaxTrimCount; ++K) {
            std::vector<TrialVector> order;
            std::vector<TrimSearch::Figures> plain;
            forEachVector(K, [&](const TrialVector& v) {
                ResultsData d = set.data;
                for (int i = 1; i <= kTrialSteps; ++i) d.ShuntSel[i] = v[i];
                CalcResults(d, true);
                order.push_back(v);
                plain.push_back({d.ErrSq, d.LinErr});
            });
            ASSERT_EQ(static_cast<long long>(order.size()), TrimVectorCount(K));

            TrimSearch search(set.data, K);
            const std::vector<double> side = search.allErrSq();
            ASSERT_EQ(side.size(), order.size());
            std::vector<std::size_t> improvements;
            double best = 1E+30;
            for (std::size_t n = 0; n < order.size(); ++n) {
                ASSERT_TRUE(sameBits(side[n], plain[n].errSq)) << "K " << K << " vector " << n;
                const TrimStep step = search.step(1);
                ASSERT_FALSE(step.done);
                ASSERT_EQ(search.trial(), order[n]) << "K " << K << " vector " << n;
                const TrimSearch::Figures figures = search.lastFigures();
                ASSERT_TRUE(sameBits(figures.errSq, plain[n].errSq))
                    << "K " << K << " vector " << n;
                ASSERT_TRUE(sameBits(figures.linErr, plain[n].linErr))
                    << "K " << K << " vector " << n;
                const bool better = plain[n].errSq < best;
                ASSERT_EQ(step.improved, better) << "K " << K << " vector " << n;
                if (better) {
                    best = plain[n].errSq;
                    improvements.push_back(n);
                    ASSERT_TRUE(sameBits(search.best(), best));
                    ASSERT_EQ(search.bestSel(), order[n]);
                }
            }
            EXPECT_TRUE(search.step(1).done);
            EXPECT_EQ(search.found(), !improvements.empty()) << "K " << K;

            // Run in slices, the search ends on the same best.
            TrimSearch whole(set.data, K);
            whole.run();
            EXPECT_EQ(whole.found(), search.found()) << "K " << K;
            EXPECT_TRUE(sameBits(whole.best(), search.best())) << "K " << K;
            EXPECT_EQ(whole.bestSel(), search.bestSel()) << "K " << K;
        }
    }
}

}  // namespace
}  // namespace q270
