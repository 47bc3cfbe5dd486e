// The search for the best set of trim (shunt) resistors across the divider
// resistors of steps 1..10, and the placement of a found set on the two
// resistors of each segment.
//
// The search tries every vector TrialSel(1..10) with entries 0..5 and at most
// K non-zero entries, in lexicographic order (entry 1 outermost, each entry
// counting up from 0), and keeps the first vector with the smallest ErrSq.
// Each vector's ErrSq and LinErr are bit for bit those of CalcResults(true)
// with ShuntSel(1..10) = TrialSel and steps 11..20 as they were: the same
// float operations in the same order, with what does not change between
// vectors worked out once (trim_search.cpp is compiled like evaluation.cpp).
// Four vectors at a time are evaluated side by side in SIMD lanes, each lane
// rounding as the scalar code does, a little ahead of the report; a vector
// that could not beat the best of that moment cannot beat a later, smaller one.
//
// The search object is resumable: step() evaluates vectors until one improves
// on the best, a slice of evaluations is complete (the moment for the window's
// event pass) or every vector has been tried.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "evaluation.h"

namespace q270 {

inline constexpr int kTrialSteps = 10;   // the search chooses for steps 1..10
inline constexpr int kMaxTrimCount = 4;  // the largest K offered
inline constexpr int kTrimSearchSlice = 389;

// TrialSel and BestSel(K, ...): choice 0..5 per step 1..10 (index 0 unused).
using TrialVector = std::array<std::int16_t, kTrialSteps + 1>;
// BestSel(0..5, 0..10): the best vector found for each K.
using BestSelTable = std::array<TrialVector, 6>;
// TrimPos(0..5): the steps of a solution's trim resistors, ascending, then 0.
using TrimPositions = std::array<int, 6>;

// The number of vectors tried for K (1, 51, 1 176, 16 176, 147 426 for 0..4).
long long TrimVectorCount(int K);

// What the last call of TrimSearch::step() ended on; more than one may hold.
struct TrimStep {
    bool improved = false;  // the last vector evaluated is the new best
    bool slice = false;     // a slice is complete: let the window handle its events
    bool done = false;      // every vector has been evaluated
};

class TrimSearch {
  public:
    // Searches on data's second readings and trim table, with data's ShuntSel
    // of steps 11..20 kept for every vector. K is 0..kMaxTrimCount; throws
    // std::invalid_argument otherwise.
    TrimSearch(const ResultsData& data, int K);

    // Evaluates at most maxEvaluations further vectors, returning early after
    // an improvement or at the end of a slice.
    TrimStep step(long long maxEvaluations);
    // Runs to the end.
    void run();

    int K() const { return K_; }
    long long evaluated() const { return evaluated_; }
    bool done() const { return done_; }

    // The vector evaluated last, with its ErrSq and LinErr(0..10).
    struct Figures {
        double errSq = 0.0;
        std::array<float, 11> linErr{};
    };
    const TrialVector& trial() const { return trial_; }
    Figures lastFigures() const;
    double errSq() const { return lastFigures().errSq; }
    std::array<float, 11> linErr() const { return lastFigures().linErr; }

    // The best so far: its ErrSq (1E+30 before any), whether there is one, the
    // vector, and its smallest and largest LinErr(1..10).
    bool found() const { return found_; }
    double best() const { return best_; }
    const TrialVector& bestSel() const { return bestSel_; }
    double trimMin() const { return trimMin_; }
    double trimMax() const { return trimMax_; }

    // data's ShuntSel(1..10) = the last vector, then CalcResults(true): the
    // full evaluation of that vector, as the table shows it.
    void evaluateLast(ResultsData& data) const;

    // ErrSq of every vector in the search order, worked out as step() does but
    // without a best to end the adding early: a check of the whole search.
    std::vector<double> allErrSq() const;

  private:
    // Mw2 / F for one F (the divisor after all twenty steps), the trimmed values
    // of steps 11..20 and their sum: all that depends on the vector only
    // through F.
    struct Scaled {
        std::array<float, 21> quotient{};  // Mw2(i) / F, steps 1..10 used
        std::array<float, 21> mod{};       // ModMw(i), steps 11..20 used
        float sumUp = 0.0f;
    };
    // For one sequence of non-zero choices, when "no trim resistor" divides F
    // by exactly 1: per step i = 1..10 and choice c of that step, at cell
    // (i - 1) x 6 + c, ModMw(i) and the pair of the 10 % point j = 11 - i,
    // ModMw(i) + ModMw(21 - i).
    struct CodeTable {
        std::array<float, kTrialSteps * kTrimChoices> mod{};
        std::array<float, kTrialSteps * kTrimChoices> pair{};
        float sumUp = 0.0f;
    };
    // One vector of the enumeration: its cells in the tables and the code of
    // its non-zero choices in order (code = code x 5 + choice).
    struct Entry;
    static constexpr int kLanes = 4;   // vectors evaluated side by side
    static constexpr int kGroup = 32;  // vectors evaluated ahead of the report

    // The figures of one vector and whether they beat the best; with
    // stopAtBest the adding ends as soon as they cannot.
    bool evaluate(const TrialVector& v, Figures& out, bool stopAtBest) const;
    static const std::vector<Entry>& orderFor(int K);
    static TrialVector vectorOf(const Entry& entry);
    void setTrial(std::size_t index);
    void fillScaled(Scaled& s, float head) const;
    void fillTables();
    void evaluateGroup();
    void evaluateLanes(std::size_t first, std::size_t end, double limit,
                       std::array<double, kLanes>& errSq) const;

    int K_;
    std::array<float, 21> mw2_{};
    std::array<float, kTrimChoices> ratio_{};
    std::array<float, kTrimChoices> root_{};
    std::array<int, 21> fixedSel_{};  // the kept choices of steps 11..20
    std::array<float, 11> point_{};   // the 10 % points j x 0.1 as floats

    // F depends only on the code when "no trim resistor" divides it by exactly
    // 1; then every vector is evaluated from the table of its code.
    bool byCode_ = false;
    std::vector<CodeTable> tables_;
    // Every vector for K in lexicographic order, and the group evaluated ahead
    // of the report, each with its ErrSq or, when it cannot beat the best it
    // was evaluated against, a part of it that has reached that best.
    const std::vector<Entry>* order_ = nullptr;
    std::size_t next_ = 0;  // the next vector to report
    std::size_t groupStart_ = 0;
    std::size_t groupEnd_ = 0;
    std::array<double, kGroup> groupErrSq_{};

    TrialVector trial_{};
    bool done_ = false;
    long long evaluated_ = 0;
    long long progress_ = 0;

    bool found_ = false;
    double best_ = 1E+30;
    TrialVector bestSel_{};
    double trimMin_ = 1E+30;
    double trimMax_ = -1E+30;
};

// The last width characters of 13 blanks followed by the value formatted with
// pattern: the value right-aligned in a field of width characters. A value
// wider than the field is shown whole rather than cut.
std::string FmtField(double value, const char* pattern, int width, char decimalSeparator);

// The result line of a finished search for K trim resistors, empty when it
// found nothing.
std::string TrimResultLine(const TrimSearch& search, char decimalSeparator);

// TrimPos for a solution: its non-zero steps in ascending order, then 0.
TrimPositions TrimPos(const TrialVector& solution);

// ShuntSel(1..20) = 0, then each trim resistor of the solution on its step
// pos, or on step 21 - pos (the other resistor of its segment) when bit b of
// mask is set, b being its place in TrimPos.
void PlaceTrim(ResultsData& data, const TrialVector& solution, const TrimPositions& positions,
               int mask);

// Tries the 2^k placements of a solution for k trim resistors and leaves data
// with the one of strictly smallest |DevDown| placed (mask 0 on a tie), its
// ShuntSel set and not yet evaluated. Returns that mask.
int PlaceBest(ResultsData& data, const TrialVector& solution, int k);

}  // namespace q270
