// The trim search against the plain way of doing it (CalcResults(true) for
// every vector, in the nested-loop order), its slices, the result line and the
// placement of a solution on the two resistors of each segment.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include <cmath>
#include <functional>
#include <stdexcept>
#include <vector>

#include "same_bits.h"
#include "trim_search.h"

namespace q270 {
namespace {

using zdx::testing::sameBits;

// Readings of 0.25 V with deviations of up to +-30 ppm, the same every time.
ResultsData realisticReadings(unsigned seed) {
    ResultsData d;
    unsigned state = seed;
    for (int i = 1; i <= 20; ++i) {
        state = state * 1103515245u + 12345u;
        const double ppm = static_cast<double>((state >> 8) % 60001) / 1000.0 - 30.0;
        d.Mw2[i] = static_cast<float>(0.25 * (1.0 + ppm * 1e-6));
        d.Mw1[i] = d.Mw2[i];
    }
    CalcResults(d, false);
    return d;
}

ResultsData equalReadings() {
    ResultsData d;
    for (int i = 1; i <= 20; ++i) d.Mw1[i] = d.Mw2[i] = 0.25f;
    CalcResults(d, false);
    return d;
}

// Every admissible vector as nested loops: entry m's loop is entered only while
// entries 1..m-1 hold at most K non-zero choices, and a full vector is taken
// only if it holds at most K.
void forEachVector(int K, const std::function<void(const TrialVector&)>& visit) {
    TrialVector v{};
    std::function<void(int, int)> loop = [&](int m, int count) {
        if (m > kTrialSteps) {
            if (count <= K) visit(v);
            return;
        }
        if (count > K) return;
        for (int c = 0; c < kTrimChoices; ++c) {
            v[m] = static_cast<std::int16_t>(c);
            loop(m + 1, count + (c != 0 ? 1 : 0));
        }
        v[m] = 0;
    };
    loop(1, 0);
}

// The plain evaluation of one vector.
ResultsData plainEvaluation(const ResultsData& base, const TrialVector& v) {
    ResultsData d = base;
    for (int i = 1; i <= kTrialSteps; ++i) d.ShuntSel[i] = v[i];
    CalcResults(d, true);
    return d;
}

struct PlainBest {
    TrialVector sel{};
    double errSq = 1E+30;
    long long count = 0;
};

PlainBest plainSearch(const ResultsData& base, int K) {
    PlainBest best;
    forEachVector(K, [&](const TrialVector& v) {
        ++best.count;
        const ResultsData d = plainEvaluation(base, v);
        if (d.ErrSq < best.errSq) {
            best.errSq = d.ErrSq;
            best.sel = v;
        }
    });
    return best;
}

// Steps the search one vector at a time against the plain evaluation.
void expectSameAsPlain(const ResultsData& base, int K, int every = 1) {
    std::vector<TrialVector> order;
    forEachVector(K, [&](const TrialVector& v) { order.push_back(v); });
    TrimSearch search(base, K);
    for (std::size_t n = 0; n < order.size(); ++n) {
        ASSERT_FALSE(search.step(1).done) << "vector " << n;
        ASSERT_EQ(search.trial(), order[n]) << "vector " << n;
        if (n % static_cast<std::size_t>(every) != 0) continue;
        const ResultsData d = plainEvaluation(base, order[n]);
        ASSERT_TRUE(sameBits(search.errSq(), d.ErrSq)) << "K " << K << " vector " << n;
        ASSERT_TRUE(sameBits(search.linErr(), d.LinErr)) << "K " << K << " vector " << n;
    }
    EXPECT_TRUE(search.step(1).done);
    EXPECT_EQ(search.evaluated(), static_cast<long long>(order.size()));
}

TEST(TrimSearchCounts, EveryAdmissibleVectorOnceInLexicographicOrder) {
    const std::array<long long, 5> expected = {1, 51, 1176, 16176, 147426};
    const ResultsData base = realisticReadings(7);
    for (int K = 0; K <= kMaxTrimCount; ++K) {
        EXPECT_EQ(TrimVectorCount(K), expected[static_cast<std::size_t>(K)]);
        long long plain = 0;
        forEachVector(K, [&](const TrialVector&) { ++plain; });
        EXPECT_EQ(plain, expected[static_cast<std::size_t>(K)]);

        TrimSearch search(base, K);
        TrialVector previous{};
        bool first = true;
        while (!search.step(1).done) {
            const TrialVector& v = search.trial();
            int count = 0;
            for (int i = 1; i <= kTrialSteps; ++i) {
                ASSERT_GE(v[i], 0);
                ASSERT_LT(v[i], kTrimChoices);
                count += v[i] != 0 ? 1 : 0;
            }
            ASSERT_LE(count, K);
            if (!first) {
                ASSERT_LT(previous, v);
            }
            first = false;
            previous = v;
        }
        EXPECT_EQ(search.evaluated(), expected[static_cast<std::size_t>(K)]) << "K " << K;
    }
}

TEST(TrimSearchCounts, OnlyZeroToFourTrimResistors) {
    const ResultsData base = realisticReadings(1);
    EXPECT_THROW(TrimSearch(base, -1), std::invalid_argument);
    EXPECT_THROW(TrimSearch(base, 5), std::invalid_argument);
    EXPECT_THROW(TrimVectorCount(5), std::invalid_argument);
}

TEST(TrimSearchBits, SameErrSqAndLinErrAsThePlainEvaluation) {
    for (unsigned seed : {3u, 11u, 2024u}) {
        const ResultsData base = realisticReadings(seed);
        for (int K = 0; K <= 2; ++K) expectSameAsPlain(base, K);
        expectSameAsPlain(base, 3, 7);
        expectSameAsPlain(base, 4, 97);
    }
}

TEST(TrimSearchBits, KeptTrimResistorsOfTheUpwardSweep) {
    ResultsData base = realisticReadings(5);
    base.ShuntSel[12] = 3;
    base.ShuntSel[17] = 5;
    base.ShuntSel[20] = 1;
    expectSameAsPlain(base, 2);
    expectSameAsPlain(base, 4, 89);
}

TEST(TrimSearchBits, ATrimTableWhoseOpenCircuitIsNotOne) {
    // Then F depends on every entry, not only on the non-zero ones.
    ResultsData base = realisticReadings(9);
    base.ShuntRoot[0] = 0.99999f;
    base.ShuntRatio[0] = 0.99998f;
    expectSameAsPlain(base, 2);
    expectSameAsPlain(base, 3, 13);
}

TEST(TrimSearchBest, TheSmallestFigureOfThePlainSearch) {
    for (unsigned seed : {3u, 42u}) {
        const ResultsData base = realisticReadings(seed);
        for (int K = 0; K <= kMaxTrimCount; ++K) {
            const PlainBest plain = plainSearch(base, K);
            TrimSearch search(base, K);
            search.run();
            ASSERT_TRUE(search.found());
            EXPECT_EQ(search.bestSel(), plain.sel) << "K " << K;
            EXPECT_TRUE(sameBits(search.best(), plain.errSq)) << "K " << K;

            const ResultsData d = plainEvaluation(base, search.bestSel());
            double lo = 1E+30, hi = -1E+30;
            for (int j = 1; j <= 10; ++j) {
                lo = std::min(lo, static_cast<double>(d.LinErr[j]));
                hi = std::max(hi, static_cast<double>(d.LinErr[j]));
            }
            EXPECT_EQ(search.trimMin(), lo);
            EXPECT_EQ(search.trimMax(), hi);
        }
    }
}

// Stopped at random points and resumed, or abandoned there: a resumed search
// ends on the same best as one run through; an abandoned one is not done and
// its best so far is the best of the vectors it has evaluated.
TEST(TrimSearchBest, StoppedAtRandomPointsResumesOrEndsConsistently) {
    const ResultsData base = realisticReadings(11);
    std::mt19937 random(8);
    for (int K = 1; K <= kMaxTrimCount; ++K) {
        TrimSearch whole(base, K);
        whole.run();
        TrimSearch stopped(base, K);
        const long long stopAt = 1 + random() % TrimVectorCount(K);
        while (!stopped.done() && stopped.evaluated() < stopAt) stopped.step(1 + random() % 1000);
        EXPECT_EQ(stopped.done(), stopped.evaluated() == TrimVectorCount(K));
        const std::vector<double> all = whole.allErrSq();
        const double bestSoFar = *std::min_element(
            all.begin(), all.begin() + static_cast<std::ptrdiff_t>(stopped.evaluated()));
        EXPECT_TRUE(sameBits(stopped.best(), bestSoFar)) << "K " << K;
        while (!stopped.done()) stopped.step(1 + random() % 5000);
        EXPECT_EQ(stopped.evaluated(), TrimVectorCount(K));
        EXPECT_EQ(stopped.bestSel(), whole.bestSel()) << "K " << K;
        EXPECT_TRUE(sameBits(stopped.best(), whole.best())) << "K " << K;
    }
}

TEST(TrimSearchBest, ImprovesAtTheSameVectorsAsThePlainSearch) {
    for (unsigned seed : {3u, 99u}) {
        const ResultsData base = realisticReadings(seed);
        std::vector<long long> plain;
        long long n = 0;
        double best = 1E+30;
        forEachVector(3, [&](const TrialVector& v) {
            ++n;
            const ResultsData d = plainEvaluation(base, v);
            if (d.ErrSq < best) {
                best = d.ErrSq;
                plain.push_back(n);
            }
        });
        std::vector<long long> fast;
        TrimSearch search(base, 3);
        for (;;) {
            const TrimStep s = search.step(1000000);
            if (s.done) break;
            if (s.improved) fast.push_back(search.evaluated());
        }
        EXPECT_EQ(fast, plain);
        EXPECT_GT(plain.size(), 1u);
    }
}

TEST(TrimSearchBest, MoreTrimResistorsNeverGiveAWorseFigure) {
    const ResultsData base = realisticReadings(77);
    double previous = 1E+30;
    for (int K = 0; K <= kMaxTrimCount; ++K) {
        TrimSearch search(base, K);
        search.run();
        EXPECT_LE(search.best(), previous);
        previous = search.best();
    }
}

TEST(TrimSearchBest, OnATieTheFirstVectorWins) {
    // Choices 1 and 2 made alike: a vector with a 2 ties with the same vector
    // holding 1 there, which comes first.
    ResultsData base = realisticReadings(3);
    base.Mw2[4] = base.Mw2[4] * 1.00008f;
    base.ShuntRatio[2] = base.ShuntRatio[1];
    base.ShuntRoot[2] = base.ShuntRoot[1];
    for (int K = 1; K <= 3; ++K) {
        TrimSearch search(base, K);
        search.run();
        const PlainBest plain = plainSearch(base, K);
        EXPECT_EQ(search.bestSel(), plain.sel);
        bool trimmed = false;
        for (int i = 1; i <= kTrialSteps; ++i) {
            EXPECT_NE(search.bestSel()[i], 2) << "K " << K << " step " << i;
            trimmed = trimmed || search.bestSel()[i] != 0;
        }
        EXPECT_TRUE(trimmed);
    }
}

TEST(TrimSearchBest, NoImprovementOverNoTrimKeepsTheUntrimmedFigure) {
    const ResultsData base = equalReadings();
    for (int K = 0; K <= kMaxTrimCount; ++K) {
        TrimSearch search(base, K);
        search.run();
        ASSERT_TRUE(search.found());
        EXPECT_EQ(search.best(), 0.0);
        EXPECT_EQ(search.bestSel(), TrialVector{});
        EXPECT_EQ(TrimResultLine(search, '.'),
                  std::to_string(K) + " Rs:  Bew=     0.0  Hub=   0.0  Max=   0.0  Min=   0.0");

        ResultsData applied = base;
        PlaceBest(applied, search.bestSel(), K);
        for (int i = 1; i <= 20; ++i) EXPECT_EQ(applied.ShuntSel[i], 0) << "step " << i;
    }
}

TEST(TrimSearchBest, ReadingsThatSumToNothingFindNothing) {
    ResultsData base;
    CalcResults(base, false);
    TrimSearch search(base, 2);
    search.run();
    EXPECT_FALSE(search.found());
    EXPECT_EQ(TrimResultLine(search, '.'), "");
}

TEST(TrimSearchSlices, EventPassesAfterThe390thEvaluationAndThenEvery389th) {
    const ResultsData base = realisticReadings(3);
    TrimSearch search(base, 3);
    std::vector<long long> passes;
    long long improvements = 0;
    long long lastEvaluated = 0;
    for (;;) {
        const TrimStep s = search.step(1000000);
        if (s.done) break;
        EXPECT_TRUE(s.improved || s.slice);
        EXPECT_GT(search.evaluated(), lastEvaluated);
        lastEvaluated = search.evaluated();
        if (s.slice) passes.push_back(search.evaluated());
        if (s.improved) {
            ++improvements;
            EXPECT_EQ(search.best(), search.errSq());
            EXPECT_EQ(search.bestSel(), search.trial());
        }
    }
    ASSERT_FALSE(passes.empty());
    EXPECT_EQ(passes.front(), 390);
    for (std::size_t n = 1; n < passes.size(); ++n) EXPECT_EQ(passes[n] - passes[n - 1], 389);
    EXPECT_EQ(static_cast<long long>(passes.size()), (16176 - 1) / 389);
    EXPECT_GE(improvements, 1);
    EXPECT_EQ(search.evaluated(), 16176);
}

TEST(TrimSearchSlices, ALimitedStepResumesWhereItEnded) {
    const ResultsData base = realisticReadings(21);
    TrimSearch whole(base, 2);
    whole.run();
    TrimSearch pieces(base, 2);
    while (!pieces.step(7).done) {
    }
    EXPECT_EQ(pieces.evaluated(), whole.evaluated());
    EXPECT_EQ(pieces.bestSel(), whole.bestSel());
    EXPECT_TRUE(sameBits(pieces.best(), whole.best()));
}

TEST(TrimSearchBest, EvaluateLastGivesTheFullEvaluationOfTheVector) {
    const ResultsData base = realisticReadings(8);
    TrimSearch search(base, 2);
    search.step(1);
    while (!search.step(1).improved) {
    }
    ResultsData shown = base;
    search.evaluateLast(shown);
    const ResultsData plain = plainEvaluation(base, search.trial());
    EXPECT_TRUE(sameBits(shown.ErrSq, plain.ErrSq));
    EXPECT_TRUE(sameBits(shown.LinErr, plain.LinErr));
    for (int i = 1; i <= 20; ++i) EXPECT_EQ(shown.Mw1[i], plain.Mw1[i]);
}

TEST(TrimResultLine, FieldsAndDecimalSeparator) {
    // Step 4 one 2 MOhm trim too high: one trim resistor puts it right.
    ResultsData base = equalReadings();
    base.Mw2[4] = 0.25f * 1.00006f;
    TrimSearch none(base, 0);
    none.run();
    TrimSearch one(base, 1);
    one.run();
    ASSERT_TRUE(one.found());
    TrialVector expected{};
    expected[4] = 1;
    EXPECT_EQ(one.bestSel(), expected);
    EXPECT_LT(one.best(), 0.5);

    // Untrimmed, the total is 3 ppm high: the points below step 4's segment
    // (j = 1..6) read j x 0.3 ppm, those above it -(10 - j) x 0.3 ppm; ErrSq is
    // about 9.45 plus the float rounding of the readings.
    EXPECT_EQ(TrimResultLine(none, '.'), "0 Rs:  Bew=     9.8  Hub=   2.7  Max=   1.8  Min=  -0.9");
    EXPECT_EQ(TrimResultLine(none, ','), "0 Rs:  Bew=     9,8  Hub=   2,7  Max=   1,8  Min=  -0,9");
    EXPECT_EQ(TrimResultLine(one, '.').substr(0, 12), "1 Rs:  Bew= ");
}

TEST(TrimResultLine, FmtFieldRightAlignsAndNeverCutsDigits) {
    EXPECT_EQ(FmtField(2.25, "0.0", 6, '.'), "   2.3");
    EXPECT_EQ(FmtField(-3.25, "0.0", 6, '.'), "  -3.3");
    EXPECT_EQ(FmtField(0.04, "0.0", 8, ','), "     0,0");
    EXPECT_EQ(FmtField(12345.6, "0.0", 6, '.'), "12345.6");
    EXPECT_EQ(FmtField(123456789.0, "0.0", 8, '.'), "123456789.0");
}

TEST(TrimPlacement, TrimPosListsTheChosenStepsInOrder) {
    TrialVector v{};
    v[2] = 5;
    v[7] = 1;
    v[10] = 3;
    EXPECT_EQ(TrimPos(v), (TrimPositions{2, 7, 10, 0, 0, 0}));
    EXPECT_EQ(TrimPos(TrialVector{}), TrimPositions{});
}

TEST(TrimPlacement, EachMaskBitMovesOneTrimToTheOtherResistorOfItsSegment) {
    TrialVector v{};
    v[2] = 5;
    v[7] = 1;
    ResultsData d = realisticReadings(4);
    d.ShuntSel[15] = 4;  // cleared by every placement
    const TrimPositions pos = TrimPos(v);
    PlaceTrim(d, v, pos, 0);
    std::array<std::int16_t, 22> expected{};
    expected[2] = 5;
    expected[7] = 1;
    EXPECT_EQ(d.ShuntSel, expected);
    PlaceTrim(d, v, pos, 3);
    expected = {};
    expected[19] = 5;
    expected[14] = 1;
    EXPECT_EQ(d.ShuntSel, expected);
    PlaceTrim(d, v, pos, 2);
    expected = {};
    expected[2] = 5;
    expected[14] = 1;
    EXPECT_EQ(d.ShuntSel, expected);
}

TEST(TrimPlacement, TheSmallestDownwardDeviationWins) {
    ResultsData base = realisticReadings(13);
    TrialVector v{};
    v[3] = 4;
    v[6] = 2;
    v[9] = 5;
    const TrimPositions pos = TrimPos(v);
    int expectedMask = 0;
    double smallest = 1E+38;
    for (int mask = 0; mask < 8; ++mask) {
        ResultsData d = base;
        PlaceTrim(d, v, pos, mask);
        CalcResults(d, true);
        if (std::fabs(d.DevDown) < smallest) {
            smallest = std::fabs(d.DevDown);
            expectedMask = mask;
        }
    }
    ResultsData applied = base;
    EXPECT_EQ(PlaceBest(applied, v, 3), expectedMask);
    ResultsData placed = base;
    PlaceTrim(placed, v, pos, expectedMask);
    EXPECT_EQ(applied.ShuntSel, placed.ShuntSel);
    EXPECT_NE(expectedMask, 0);
}

TEST(TrimPlacement, OnATieMaskZeroWins) {
    // A choice whose factor is exactly 1 changes nothing wherever it goes.
    ResultsData base = realisticReadings(6);
    base.ShuntRatio[3] = 1.0f;
    base.ShuntRoot[3] = 1.0f;
    TrialVector v{};
    v[1] = 3;
    v[5] = 3;
    EXPECT_EQ(PlaceBest(base, v, 2), 0);
    EXPECT_EQ(base.ShuntSel[1], 3);
    EXPECT_EQ(base.ShuntSel[5], 3);
    EXPECT_EQ(base.ShuntSel[20], 0);
    EXPECT_EQ(base.ShuntSel[16], 0);
}

TEST(TrimPlacement, FewerTrimsThanTheCountLeaveTheSurplusBitsUnused) {
    ResultsData base = realisticReadings(17);
    TrialVector v{};
    v[8] = 2;
    for (int k = 1; k <= kMaxTrimCount; ++k) {
        ResultsData d = base;
        const int mask = PlaceBest(d, v, k);
        EXPECT_LT(mask, 2) << "k " << k;
        int trims = 0;
        for (int i = 1; i <= 20; ++i) trims += d.ShuntSel[i] != 0 ? 1 : 0;
        EXPECT_EQ(trims, 1);
        EXPECT_EQ(d.ShuntSel[mask == 0 ? 8 : 13], 2);
    }
    ResultsData none = base;
    EXPECT_EQ(PlaceBest(none, TrialVector{}, 3), 0);
    for (int i = 1; i <= 20; ++i) EXPECT_EQ(none.ShuntSel[i], 0);
}

}  // namespace
}  // namespace q270
