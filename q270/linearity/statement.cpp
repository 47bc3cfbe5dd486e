#include "statement.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "coverage_factor.h"
#include "evaluation.h"
#include "linear_model.h"

namespace q270 {

namespace {

constexpr double kPpm = 1e6;
const double kRectangular = std::sqrt(3.0);

// The trim factor of a trim resistor across one divider resistor, exactly.
double trimFactor(int choice) {
    if (choice <= 0 || choice >= kTrimChoices) return 1.0;
    const double r = kTrimResistance[std::size_t(choice)];
    return r / (r + kDividerResistance);
}

// d(factor)/factor per dR/R of the trim resistor.
double trimFactorSensitivity(int choice) {
    if (choice <= 0 || choice >= kTrimChoices) return 0.0;
    return kDividerResistance / (kTrimResistance[std::size_t(choice)] + kDividerResistance);
}

int severity(Verdict v) {
    return static_cast<int>(v);
}

}  // namespace

const char* RuleName(DecisionRule rule) {
    switch (rule) {
        case DecisionRule::Simple:
            return "simple";
        case DecisionRule::Guarded:
            return "guarded";
        case DecisionRule::NonBinary:
            return "non-binary";
    }
    return "guarded";
}

std::optional<DecisionRule> RuleNamed(std::string_view name) {
    for (const DecisionRule r :
         {DecisionRule::Simple, DecisionRule::Guarded, DecisionRule::NonBinary})
        if (name == RuleName(r)) return r;
    return std::nullopt;
}

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Pass:
            return "pass";
        case Verdict::ConditionalPass:
            return "conditional pass";
        case Verdict::ConditionalFail:
            return "conditional fail";
        case Verdict::Fail:
            return "fail";
    }
    return "fail";
}

Verdict Judge(double error, double U, double limit, DecisionRule rule) {
    const double x = std::fabs(error);
    switch (rule) {
        case DecisionRule::Simple:
            return x <= limit ? Verdict::Pass : Verdict::Fail;
        case DecisionRule::Guarded:
            return x <= limit - U ? Verdict::Pass : Verdict::Fail;
        case DecisionRule::NonBinary:
            if (x <= limit - U) return Verdict::Pass;
            if (x <= limit) return Verdict::ConditionalPass;
            if (x <= limit + U) return Verdict::ConditionalFail;
            return Verdict::Fail;
    }
    return Verdict::Fail;
}

std::optional<double> ReplyResolution(std::string_view reply) {
    const std::string text(reply);
    const char* start = text.c_str();
    while (*start == ' ') ++start;
    char* end = nullptr;
    const double value = std::strtod(start, &end);
    if (end == start || !std::isfinite(value)) return std::nullopt;
    // Digits after the decimal point of the mantissa, and the exponent.
    int decimals = 0;
    const char* p = start;
    while (p < end && *p != '.' && *p != 'E' && *p != 'e') ++p;
    if (p < end && *p == '.')
        for (++p; p < end && *p >= '0' && *p <= '9'; ++p) ++decimals;
    while (p < end && *p != 'E' && *p != 'e') ++p;
    const long exponent = p < end ? std::strtol(p + 1, nullptr, 10) : 0;
    if (exponent < -300 || exponent > 300) return std::nullopt;
    return std::pow(10.0, double(exponent - decimals));
}

Statement MakeStatement(const RunRecord& record, const Acceptance& acceptance,
                        const std::optional<PerStep<std::int16_t>>& trims, double trimTolerance) {
    Statement s;
    s.acceptance = acceptance;
    s.trimTolerance = trims ? trimTolerance : 0.0;
    PerStep<double> x{}, w{};
    double pooled = 0;
    for (int i = 1; i <= kStepCount; ++i) {
        const std::size_t step = std::size_t(i);
        x[step] = record.Mw2[step].volts;
        w[step] = trims ? trimFactor((*trims)[step]) : 1.0;
        const double d = record.Mw1[step].volts - record.Mw2[step].volts;
        pooled += d * d;
        for (const RunReading* v : {&record.Mw1[step], &record.Mw2[step]})
            s.resolution = std::max(s.resolution, ReplyResolution(v->text).value_or(0.0));
    }
    // Each pair estimates the reading variance as d^2 / 2; twenty pairs pooled.
    s.noise = std::sqrt(pooled / (2.0 * kStepCount));

    const LinearModel model(x, w);
    for (int i = 1; i <= kStepCount; ++i)
        s.devR[std::size_t(i)] =
            kPpm * (kStepCount * w[std::size_t(i)] * x[std::size_t(i)] / model.total() - 1.0);

    s.nuEff = std::numeric_limits<double>::infinity();
    for (int j = 1; j <= kPointCount; ++j) {
        PointStatement& p = s.points[std::size_t(j)];
        p.linErr = j == kPointCount ? 0.0 : model.linErr(j);
        s.errSq += p.linErr * p.linErr;
        if (j == kPointCount) continue;  // the reference: exactly 0, no uncertainty
        PointBudget& b = p.budget;
        const double sensitivity = model.readingSensitivity(j);
        b.typeA = s.noise * sensitivity;
        b.resolution = s.resolution / (2.0 * kRectangular) * sensitivity;
        if (trims) {
            double sum = 0;
            for (int i = 1; i <= kStepCount; ++i) {
                const int choice = (*trims)[std::size_t(i)];
                const double dw = w[std::size_t(i)] * trimFactorSensitivity(choice) *
                                  trimTolerance / kRectangular;
                sum += std::pow(model.slopeByWeight(j, i) * dw, 2);
            }
            b.trims = std::sqrt(sum);
        }
        b.u = std::sqrt(b.typeA * b.typeA + b.resolution * b.resolution + b.trims * b.trims);
        b.nuEff = EffectiveDegrees(b.u, b.typeA, kTypeADegrees);
        s.nuEff = std::min(s.nuEff, b.nuEff);
        if (std::fabs(p.linErr) > std::fabs(s.points[std::size_t(s.largestPoint)].linErr))
            s.largestPoint = j;
    }
    s.k = CoverageFactor(s.nuEff);
    for (int j = 1; j < kPointCount; ++j) {
        PointStatement& p = s.points[std::size_t(j)];
        p.U = s.k * p.budget.u;
        if (!acceptance.limitPpm) continue;
        p.verdict = Judge(p.linErr, p.U, *acceptance.limitPpm, acceptance.rule);
        if (!s.verdict || severity(*p.verdict) > severity(*s.verdict)) s.verdict = p.verdict;
    }
    return s;
}

PredictionCheck CheckPrediction(const Statement& measured, const Statement& predicted) {
    PredictionCheck c;
    const double k = std::max(measured.k, predicted.k);
    for (int j = 1; j < kPointCount; ++j) {
        const std::size_t p = std::size_t(j);
        c.difference[p] = measured.points[p].linErr - predicted.points[p].linErr;
        c.allowance[p] = k * std::hypot(measured.points[p].budget.u, predicted.points[p].budget.u);
        c.agrees[p] = std::fabs(c.difference[p]) <= c.allowance[p];
        c.allAgree = c.allAgree && c.agrees[p];
    }
    c.agrees[std::size_t(kPointCount)] = true;
    return c;
}

}  // namespace q270
