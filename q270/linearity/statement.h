// The calibration statement of a run: its 10 % point errors, ErrSq and each
// resistor's deviation in double precision from the readings as the meter
// sent them, an uncertainty budget per point, the expanded uncertainty
// U = k u, and a decision against the unit's limit by a rule of ILAC-G8.
// docs/uncertainty.md gives the budget component by component.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "run_file.h"
#include "step_sequence.h"

namespace q270 {

// The trim resistors' tolerance when the settings give none: 1 %.
inline constexpr double kDefaultTrimTolerance = 0.01;
// The Type A estimate pools the twenty pairs of readings.
inline constexpr double kTypeADegrees = kStepCount;

enum class DecisionRule { Simple, Guarded, NonBinary };
enum class Verdict { Pass, ConditionalPass, ConditionalFail, Fail };

// "simple", "guarded", "non-binary"; the rule of such a name, if any.
const char* RuleName(DecisionRule rule);
std::optional<DecisionRule> RuleNamed(std::string_view name);
// "pass", "conditional pass", "conditional fail", "fail".
const char* VerdictName(Verdict verdict);

// The unit's limit for |LinErr| at each 10 % point, ppm, and the rule.
struct Acceptance {
    std::optional<double> limitPpm;  // none: no verdict
    DecisionRule rule = DecisionRule::Guarded;
};

// One point's error judged against the limit with its expanded uncertainty.
Verdict Judge(double error, double U, double limit, DecisionRule rule);

// The standard uncertainties of one point's error, ppm.
struct PointBudget {
    double typeA = 0;       // the reading noise, normal, kTypeADegrees degrees of freedom
    double resolution = 0;  // the last digit of the replies, rectangular
    double trims = 0;       // the trim resistors' tolerance (a prediction only), rectangular
    double u = 0;           // combined
    double nuEff = 0;       // effective degrees of freedom (Welch-Satterthwaite)
};

struct PointStatement {
    double linErr = 0;  // ppm
    PointBudget budget;
    double U = 0;                    // k u, ppm
    std::optional<Verdict> verdict;  // none at 100 % (the reference) and without a limit
};

struct Statement {
    PerPoint<PointStatement> points{};
    PerStep<double> devR{};    // each resistor's deviation from the mean, ppm (by step)
    double errSq = 0;          // sum of LinErr(1..10)^2, ppm^2
    double noise = 0;          // standard deviation of one reading, V
    double resolution = 0;     // the coarsest reply's last digit, V
    double trimTolerance = 0;  // relative, of a prediction's trim resistors
    double nuEff = 0;          // the smallest of the points'
    double k = 0;              // coverage factor at nuEff
    Acceptance acceptance;
    std::optional<Verdict> verdict;  // the worst point's
    int largestPoint = 1;            // the point of the largest |LinErr|
};

// The statement of a run's readings (Mw2, as the evaluation) without trims,
// or, given trim choices, of the prediction those trims make for the unit.
Statement MakeStatement(const RunRecord& record, const Acceptance& acceptance,
                        const std::optional<PerStep<std::int16_t>>& trims = std::nullopt,
                        double trimTolerance = kDefaultTrimTolerance);

// The last digit of a meter reply ("+2.49993022E-01" gives 1E-09 V); none
// when the text is no number.
std::optional<double> ReplyResolution(std::string_view reply);

// An as-left run against its decision's prediction: per point, agreement
// when |measured - predicted| <= k sqrt(u_measured^2 + u_predicted^2); the
// 100 % point is not judged.
struct PredictionCheck {
    PerPoint<double> difference{};  // measured - predicted, ppm
    PerPoint<double> allowance{};   // k sqrt(...), ppm
    PerPoint<bool> agrees{};
    bool allAgree = true;
};
PredictionCheck CheckPrediction(const Statement& measured, const Statement& predicted);

}  // namespace q270
