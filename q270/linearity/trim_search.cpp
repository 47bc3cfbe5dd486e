#include "trim_search.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <stdexcept>

#ifdef __SSE2__
#include <immintrin.h>
#endif

#include "pattern_format.h"

namespace q270 {

// As in the evaluation: every float operation is one assignment to a float,
// rounded on its own, which holds only without excess precision.
#ifdef FLT_EVAL_METHOD
static_assert(FLT_EVAL_METHOD == 0,
              "the trim search needs float arithmetic without excess precision");
#endif

namespace {

constexpr int kLastChoice = kTrimChoices - 1;
constexpr double kPpm = 1000000.0;

int choiceIndex(std::int16_t choice) {
    return choice >= 0 && choice < kTrimChoices ? choice : 0;
}

// Codes of the sequences of at most K non-zero choices: code = code x 5 + choice.
std::size_t codeCount(int K) {
    std::size_t total = 0, power = 1;
    for (int c = 0; c <= K; ++c, power *= kLastChoice) total += power;
    return total;
}

void checkCount(int K) {
    if (K < 0 || K > kMaxTrimCount)
        throw std::invalid_argument("the number of trim resistors must be 0..4");
}

}  // namespace

long long TrimVectorCount(int K) {
    checkCount(K);
    // C(10, c) positions for c non-zero entries, 5 choices each.
    long long total = 0, positions = 1, choices = 1;
    for (int c = 0; c <= K; ++c) {
        total += positions * choices;
        positions = positions * (kTrialSteps - c) / (c + 1);
        choices *= kLastChoice;
    }
    return total;
}

struct TrimSearch::Entry {
    std::array<std::uint8_t, kTrialSteps> cell;  // (i - 1) x 6 + TrialSel(i) at [i - 1]
    std::uint16_t code;
};

const std::vector<TrimSearch::Entry>& TrimSearch::orderFor(int K) {
    // The order depends on K only: worked out once for every search.
    static const auto orders = [] {
        std::array<std::vector<Entry>, kMaxTrimCount + 1> all;
        for (int k = 0; k <= kMaxTrimCount; ++k) {
            std::vector<Entry>& order = all[static_cast<std::size_t>(k)];
            order.reserve(static_cast<std::size_t>(TrimVectorCount(k)));
            Entry entry{};
            const auto visit = [&](auto&& self, int m, int count, int code) -> void {
                for (int c = 0; c < kTrimChoices; ++c) {
                    if (c != 0 && count + 1 > k) break;
                    entry.cell[static_cast<std::size_t>(m - 1)] =
                        static_cast<std::uint8_t>((m - 1) * kTrimChoices + c);
                    const int next = c != 0 ? code * kLastChoice + c : code;
                    if (m < kTrialSteps) {
                        self(self, m + 1, count + (c != 0 ? 1 : 0), next);
                    } else {
                        entry.code = static_cast<std::uint16_t>(next);
                        order.push_back(entry);
                    }
                }
            };
            visit(visit, 1, 0, 0);
        }
        return all;
    }();
    return orders[static_cast<std::size_t>(K)];
}

TrimSearch::TrimSearch(const ResultsData& data, int K) : K_(K) {
    checkCount(K);
    for (int i = 1; i <= kStepCount; ++i) mw2_[i] = data.Mw2[i];
    for (int k = 0; k < kTrimChoices; ++k) {
        ratio_[k] = data.ShuntRatio[k];
        root_[k] = data.ShuntRoot[k];
    }
    for (int i = kTrialSteps + 1; i <= kStepCount; ++i)
        fixedSel_[i] = choiceIndex(data.ShuntSel[i]);
    for (int j = 1; j <= kTrialSteps; ++j) point_[j] = static_cast<float>(j * 0.1);
    byCode_ = root_[0] == 1.0f;
    if (byCode_) fillTables();
    order_ = &orderFor(K);
}

void TrimSearch::fillScaled(Scaled& s, float head) const {
    float f = head;
    for (int i = kTrialSteps + 1; i <= kStepCount; ++i) f = f / root_[fixedSel_[i]];
    for (int i = 1; i <= kTrialSteps; ++i) s.quotient[i] = mw2_[i] / f;
    for (int i = kTrialSteps + 1; i <= kStepCount; ++i) {
        const float q = mw2_[i] / f;
        s.mod[i] = ratio_[fixedSel_[i]] * q;
    }
    float sumUp = 0.0f;
    for (int i = kTrialSteps + 1; i <= kStepCount; ++i) sumUp = sumUp + s.mod[i];
    s.sumUp = sumUp;
}

void TrimSearch::fillTables() {
    // Code c > 0 is its parent's sequence followed by one choice, and the
    // parent's code is smaller: F builds up in the order of the steps.
    const std::size_t codes = codeCount(K_);
    tables_.resize(codes);
    std::vector<float> head(codes);
    head[0] = 1.0f;
    Scaled s;
    for (std::size_t c = 0; c < codes; ++c) {
        if (c > 0) {
            const std::size_t parent = (c - 1) / kLastChoice;
            head[c] = head[parent] / root_[c - parent * kLastChoice];
        }
        fillScaled(s, head[c]);
        CodeTable& t = tables_[c];
        for (int i = 1; i <= kTrialSteps; ++i) {
            for (int k = 0; k < kTrimChoices; ++k) {
                const std::size_t cell = static_cast<std::size_t>((i - 1) * kTrimChoices + k);
                t.mod[cell] = ratio_[k] * s.quotient[i];
                t.pair[cell] = t.mod[cell] + s.mod[kStepCount + 1 - i];
            }
        }
        t.sumUp = s.sumUp;
    }
}

bool TrimSearch::evaluate(const TrialVector& v, Figures& out, bool stopAtBest) const {
    float head = 1.0f;
    for (int i = 1; i <= kTrialSteps; ++i) head = head / root_[v[i]];
    Scaled s;
    fillScaled(s, head);
    std::array<float, kTrialSteps + 1> mod{};
    for (int i = 1; i <= kTrialSteps; ++i) mod[i] = ratio_[v[i]] * s.quotient[i];
    float sumDown = 0.0f;
    for (int i = 1; i <= kTrialSteps; ++i) sumDown = sumDown + mod[i];
    const float total = sumDown + s.sumUp;

    // The squares are added in order and none is negative, so the sum never
    // falls: once it has reached the best, this vector cannot improve on it.
    out.errSq = 0.0;
    out.linErr[0] = 0.0f;
    float level = 0.0f;
    for (int j = 1; j <= kTrialSteps; ++j) {
        const float pair = mod[kTrialSteps + 1 - j] + s.mod[kTrialSteps + j];
        level = level + pair;
        const float share = level / total;
        const float err = point_[j] - share;
        out.linErr[j] = static_cast<float>(kPpm * err);
        const double stored = out.linErr[j];
        out.errSq = out.errSq + stored * stored;
        if (stopAtBest && out.errSq >= best_) return false;
    }
    return out.errSq < best_;
}

TrialVector TrimSearch::vectorOf(const Entry& entry) {
    TrialVector v{};
    for (int i = 1; i <= kTrialSteps; ++i)
        v[i] = static_cast<std::int16_t>(entry.cell[static_cast<std::size_t>(i - 1)] -
                                         (i - 1) * kTrimChoices);
    return v;
}

void TrimSearch::setTrial(std::size_t index) {
    trial_ = vectorOf((*order_)[index]);
}

void TrimSearch::evaluateGroup() {
    const std::vector<Entry>& order = *order_;
    groupStart_ = next_;
    groupEnd_ = std::min(next_ + kGroup, order.size());
    if (!byCode_) {
        for (std::size_t n = groupStart_; n < groupEnd_; ++n) {
            setTrial(n);
            Figures figures;
            evaluate(trial_, figures, true);
            groupErrSq_[n - groupStart_] = figures.errSq;
        }
        return;
    }
    for (std::size_t first = groupStart_; first < groupEnd_; first += kLanes) {
        alignas(16) std::array<double, kLanes> errSq{};
        evaluateLanes(first, groupEnd_, best_, errSq);
        for (std::size_t n = 0; n < kLanes && first + n < groupEnd_; ++n)
            groupErrSq_[first + n - groupStart_] = errSq[n];
    }
}

void TrimSearch::evaluateLanes(std::size_t first, std::size_t end, double limit,
                               std::array<double, kLanes>& errSq) const {
    // The same operations as evaluate() on the table of each vector's code.
    // Lanes beyond the group repeat the first vector of their four.
    std::array<const Entry*, kLanes> lane{};
    std::array<const CodeTable*, kLanes> table{};
    for (std::size_t n = 0; n < kLanes; ++n) {
        lane[n] = &(*order_)[first + n < end ? first + n : first];
        table[n] = &tables_[lane[n]->code];
    }
    const auto modOf = [&](std::size_t n, int i) {
        return table[n]->mod[lane[n]->cell[static_cast<std::size_t>(i - 1)]];
    };
    const auto pairOf = [&](std::size_t n, int j) {
        return table[n]->pair[lane[n]->cell[static_cast<std::size_t>(kTrialSteps - j)]];
    };
#ifdef __SSE2__
    // IEEE single and double precision per lane: the bits of the scalar code.
    __m128 sumDown = _mm_setzero_ps();
    for (int i = 1; i <= kTrialSteps; ++i)
        sumDown =
            _mm_add_ps(sumDown, _mm_setr_ps(modOf(0, i), modOf(1, i), modOf(2, i), modOf(3, i)));
    const __m128 total = _mm_add_ps(
        sumDown, _mm_setr_ps(table[0]->sumUp, table[1]->sumUp, table[2]->sumUp, table[3]->sumUp));
    const __m128d ppm = _mm_set1_pd(kPpm);
    const __m128d limits = _mm_set1_pd(limit);
    __m128 level = _mm_setzero_ps();
    __m128d low = _mm_setzero_pd();
    __m128d high = _mm_setzero_pd();
    for (int j = 1; j <= kTrialSteps; ++j) {
        level =
            _mm_add_ps(level, _mm_setr_ps(pairOf(0, j), pairOf(1, j), pairOf(2, j), pairOf(3, j)));
        const __m128 share = _mm_div_ps(level, total);
        const __m128 err = _mm_sub_ps(_mm_set1_ps(point_[j]), share);
        const __m128d storedLow = _mm_cvtps_pd(_mm_cvtpd_ps(_mm_mul_pd(ppm, _mm_cvtps_pd(err))));
        const __m128d storedHigh =
            _mm_cvtps_pd(_mm_cvtpd_ps(_mm_mul_pd(ppm, _mm_cvtps_pd(_mm_movehl_ps(err, err)))));
        low = _mm_add_pd(low, _mm_mul_pd(storedLow, storedLow));
        high = _mm_add_pd(high, _mm_mul_pd(storedHigh, storedHigh));
        // Every lane has reached the best: none of them can improve on it.
        if ((_mm_movemask_pd(_mm_cmpge_pd(low, limits)) &
             _mm_movemask_pd(_mm_cmpge_pd(high, limits))) == 3)
            break;
    }
    _mm_store_pd(errSq.data(), low);
    _mm_store_pd(errSq.data() + 2, high);
#else
    for (std::size_t n = 0; n < kLanes; ++n) {
        float sumDown = 0.0f;
        for (int i = 1; i <= kTrialSteps; ++i) sumDown = sumDown + modOf(n, i);
        const float total = sumDown + table[n]->sumUp;
        double sum = 0.0;
        float level = 0.0f;
        for (int j = 1; j <= kTrialSteps && !(sum >= limit); ++j) {
            level = level + pairOf(n, j);
            const float share = level / total;
            const float err = point_[j] - share;
            const float linErr = static_cast<float>(kPpm * err);
            const double stored = linErr;
            sum = sum + stored * stored;
        }
        errSq[n] = sum;
    }
#endif
}

std::vector<double> TrimSearch::allErrSq() const {
    const std::size_t end = order_->size();
    std::vector<double> figures(end);
    for (std::size_t first = 0; first < end; first += kLanes) {
        if (!byCode_) {
            for (std::size_t n = first; n < std::min(first + kLanes, end); ++n) {
                Figures f;
                evaluate(vectorOf((*order_)[n]), f, false);
                figures[n] = f.errSq;
            }
            continue;
        }
        alignas(16) std::array<double, kLanes> errSq{};
        // No sum compares as reaching NaN: every lane adds all ten squares.
        evaluateLanes(first, end, std::numeric_limits<double>::quiet_NaN(), errSq);
        for (std::size_t n = 0; n < kLanes && first + n < end; ++n) figures[first + n] = errSq[n];
    }
    return figures;
}

TrimSearch::Figures TrimSearch::lastFigures() const {
    // The last vector's figures are worked out again in full: the search
    // itself stops adding as soon as a vector cannot be the best.
    Figures figures;
    evaluate(trial_, figures, false);
    return figures;
}

TrimStep TrimSearch::step(long long maxEvaluations) {
    TrimStep result;
    const std::size_t end = order_->size();
    for (long long n = 0; n < maxEvaluations; ++n) {
        if (done_ || next_ == end) {
            done_ = true;
            result.done = true;
            break;
        }
        if (next_ == groupEnd_) evaluateGroup();
        // Evaluated against a best at least as large as the present one, so a
        // figure that did not beat that one does not beat this one either.
        // Vectors before the next one that may improve, before the end of the
        // slice and within maxEvaluations are only counted.
        const long long untilSlice =
            progress_ >= kTrimSearchSlice ? 1 : kTrimSearchSlice + 1 - progress_;
        const std::size_t count = static_cast<std::size_t>(
            std::min({static_cast<long long>(groupEnd_ - next_), maxEvaluations - n, untilSlice}));
        const double* errSq = &groupErrSq_[next_ - groupStart_];
        std::size_t skipped = 0;
        while (skipped + 1 < count && !(errSq[skipped] < best_)) ++skipped;
        next_ += skipped;
        evaluated_ += static_cast<long long>(skipped);
        progress_ += static_cast<long long>(skipped);
        n += static_cast<long long>(skipped);

        const std::size_t index = next_++;
        ++evaluated_;
        if (groupErrSq_[index - groupStart_] < best_) {
            setTrial(index);
            const Figures figures = lastFigures();
            best_ = figures.errSq;
            bestSel_ = trial_;
            trimMin_ = 1E+30;
            trimMax_ = -1E+30;
            for (int j = 1; j <= kTrialSteps; ++j) {
                if (figures.linErr[j] < trimMin_) trimMin_ = figures.linErr[j];
                if (figures.linErr[j] > trimMax_) trimMax_ = figures.linErr[j];
            }
            found_ = true;
            result.improved = true;
        }
        // The event pass follows the 390th evaluation and then every 389th.
        if (progress_ > kTrimSearchSlice - 1) {
            result.slice = true;
            progress_ = 0;
        }
        ++progress_;
        if (result.improved || result.slice) break;
    }
    // The reported vector is the one evaluated last.
    if (next_ > 0) setTrial(next_ - 1);
    return result;
}

void TrimSearch::run() {
    while (!step(kTrimSearchSlice).done) {
    }
}

void TrimSearch::evaluateLast(ResultsData& data) const {
    for (int i = 1; i <= kTrialSteps; ++i) data.ShuntSel[i] = trial_[i];
    CalcResults(data, true);
}

std::string FmtField(double value, const char* pattern, int width, char decimalSeparator) {
    const std::string text = formatPattern(value, pattern, decimalSeparator);
    if (width <= 0 || text.size() >= static_cast<std::size_t>(width)) return text;
    const std::string padded = std::string(13, ' ') + text;
    return padded.substr(padded.size() - static_cast<std::size_t>(width));
}

std::string TrimResultLine(const TrimSearch& search, char decimalSeparator) {
    if (!search.found()) return {};
    const double max = search.trimMax();
    const double min = search.trimMin();
    return formatPattern(search.K(), "0", decimalSeparator) +
           " Rs:" + "  Bew=" + FmtField(search.best(), "0.0", 8, decimalSeparator) +
           "  Hub=" + FmtField(max - min, "0.0", 6, decimalSeparator) +
           "  Max=" + FmtField(max, "0.0", 6, decimalSeparator) +
           "  Min=" + FmtField(min, "0.0", 6, decimalSeparator);
}

TrimPositions TrimPos(const TrialVector& solution) {
    TrimPositions positions{};
    std::size_t n = 0;
    for (int j = 1; j <= kTrialSteps && n < positions.size(); ++j)
        if (solution[j] != 0) positions[n++] = j;
    return positions;
}

void PlaceTrim(ResultsData& data, const TrialVector& solution, const TrimPositions& positions,
               int mask) {
    for (int i = 1; i <= kStepCount; ++i) data.ShuntSel[i] = 0;
    for (std::size_t b = 0; b < positions.size(); ++b) {
        const int pos = positions[b];
        if (pos < 1 || pos > kTrialSteps) continue;
        const int step = (mask >> b) & 1 ? kStepCount + 1 - pos : pos;
        data.ShuntSel[step] = solution[pos];
    }
}

int PlaceBest(ResultsData& data, const TrialVector& solution, int k) {
    checkCount(k);
    const TrimPositions positions = TrimPos(solution);
    int bestMask = 0;
    double bestDev = 1E+38;
    for (int mask = 0; mask < (1 << k); ++mask) {
        PlaceTrim(data, solution, positions, mask);
        CalcResults(data, true);
        const double dev = std::fabs(data.DevDown);
        if (dev < bestDev) {
            bestDev = dev;
            bestMask = mask;
        }
    }
    PlaceTrim(data, solution, positions, bestMask);
    return bestMask;
}

}  // namespace q270
