#include "trim_search.h"

#include <cfloat>
#include <cmath>
#include <stdexcept>

#include "pattern_format.h"

namespace q270 {

// As in the evaluation: every float operation is one assignment to a float,
// rounded on its own, which holds only without excess precision.
#ifdef FLT_EVAL_METHOD
static_assert(FLT_EVAL_METHOD == 0,
              "the trim search needs float arithmetic without excess precision");
#endif

namespace {

constexpr int kSteps = 20;
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

TrimSearch::TrimSearch(const ResultsData& data, int K) : K_(K) {
    checkCount(K);
    for (int i = 1; i <= kSteps; ++i) mw2_[i] = data.Mw2[i];
    for (int k = 0; k < kTrimChoices; ++k) {
        ratio_[k] = data.ShuntRatio[k];
        root_[k] = data.ShuntRoot[k];
    }
    for (int i = kTrialSteps + 1; i <= kSteps; ++i) fixedSel_[i] = choiceIndex(data.ShuntSel[i]);
    for (int j = 1; j <= kTrialSteps; ++j) point_[j] = static_cast<float>(j * 0.1);
    headF_[0] = 1.0f;
    cacheByCode_ = root_[0] == 1.0f;
    if (cacheByCode_) cache_.resize(codeCount(K));
}

void TrimSearch::prefixFrom(int position) {
    for (int m = position; m <= kTrialSteps; ++m) {
        const int choice = trial_[m];
        headF_[m] = headF_[m - 1] / root_[choice];
        count_[m] = count_[m - 1] + (choice != 0 ? 1 : 0);
        code_[m] = choice != 0 ? code_[m - 1] * kLastChoice + choice : code_[m - 1];
    }
}

bool TrimSearch::advance() {
    if (!started_) {
        started_ = true;
        trial_.fill(0);
        prefixFrom(1);
        return true;
    }
    // The next vector in lexicographic order whose count stays within K.
    for (int pos = kTrialSteps; pos >= 1; --pos) {
        if (trial_[pos] < kLastChoice && count_[pos - 1] + 1 <= K_) {
            ++trial_[pos];
            for (int m = pos + 1; m <= kTrialSteps; ++m) trial_[m] = 0;
            prefixFrom(pos);
            return true;
        }
    }
    return false;
}

void TrimSearch::fillScaled(Scaled& s, float head) const {
    float f = head;
    for (int i = kTrialSteps + 1; i <= kSteps; ++i) f = f / root_[fixedSel_[i]];
    for (int i = 1; i <= kTrialSteps; ++i) s.quotient[i] = mw2_[i] / f;
    for (int i = kTrialSteps + 1; i <= kSteps; ++i) {
        const float q = mw2_[i] / f;
        s.mod[i] = ratio_[fixedSel_[i]] * q;
    }
    float sumUp = 0.0f;
    for (int i = kTrialSteps + 1; i <= kSteps; ++i) sumUp = sumUp + s.mod[i];
    s.sumUp = sumUp;
    s.ready = true;
}

const TrimSearch::Scaled& TrimSearch::scaledFor(float head) const {
    if (!cacheByCode_) {
        fillScaled(scratch_, head);
        return scratch_;
    }
    Scaled& s = cache_[static_cast<std::size_t>(code_[kTrialSteps])];
    if (!s.ready) fillScaled(s, head);
    return s;
}

bool TrimSearch::evaluate(Figures& out, bool stopAtBest) const {
    const Scaled& s = scaledFor(headF_[kTrialSteps]);
    std::array<float, kTrialSteps + 1> mod{};
    for (int i = 1; i <= kTrialSteps; ++i) mod[i] = ratio_[trial_[i]] * s.quotient[i];
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

TrimSearch::Figures TrimSearch::lastFigures() const {
    // The last vector's figures are worked out again in full: the search
    // itself stops adding as soon as a vector cannot be the best.
    Figures figures;
    evaluate(figures, false);
    return figures;
}

TrimStep TrimSearch::step(long long maxEvaluations) {
    TrimStep result;
    for (long long n = 0; n < maxEvaluations; ++n) {
        if (done_ || !advance()) {
            done_ = true;
            result.done = true;
            return result;
        }
        Figures figures;
        const bool better = evaluate(figures, true);
        ++evaluated_;
        if (better) {
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
        if (result.improved || result.slice) return result;
    }
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
    for (int i = 1; i <= kSteps; ++i) data.ShuntSel[i] = 0;
    for (std::size_t b = 0; b < positions.size(); ++b) {
        const int pos = positions[b];
        if (pos < 1 || pos > kTrialSteps) continue;
        const int step = (mask >> b) & 1 ? kSteps + 1 - pos : pos;
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
