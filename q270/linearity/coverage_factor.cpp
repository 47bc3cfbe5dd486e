#include "coverage_factor.h"

#include <cmath>
#include <limits>

namespace q270 {

namespace {

constexpr double kNormalDegrees = 1e6;

// The continued fraction of the regularised incomplete beta function
// (modified Lentz), converging for x < (a + 1) / (a + b + 2).
double betaFraction(double a, double b, double x) {
    constexpr double kTiny = 1e-300;
    double c = 1.0, d = 1.0 - (a + b) * x / (a + 1.0);
    if (std::fabs(d) < kTiny) d = kTiny;
    d = 1.0 / d;
    double h = d;
    for (int m = 1; m <= 10000; ++m) {
        const double m2 = 2.0 * m;
        double aa = m * (b - m) * x / ((a + m2 - 1.0) * (a + m2));
        d = 1.0 + aa * d;
        d = std::fabs(d) < kTiny ? kTiny : d;
        c = 1.0 + aa / c;
        c = std::fabs(c) < kTiny ? kTiny : c;
        d = 1.0 / d;
        h *= d * c;
        aa = -(a + m) * (a + b + m) * x / ((a + m2) * (a + m2 + 1.0));
        d = 1.0 + aa * d;
        d = std::fabs(d) < kTiny ? kTiny : d;
        c = 1.0 + aa / c;
        c = std::fabs(c) < kTiny ? kTiny : c;
        d = 1.0 / d;
        const double step = d * c;
        h *= step;
        if (std::fabs(step - 1.0) < 1e-15) break;
    }
    return h;
}

// I_x(a, b).
double incompleteBeta(double a, double b, double x) {
    if (x <= 0) return 0;
    if (x >= 1) return 1;
    const double front = std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) +
                                  a * std::log(x) + b * std::log1p(-x));
    if (x < (a + 1.0) / (a + b + 2.0)) return front * betaFraction(a, b, x) / a;
    return 1.0 - front * betaFraction(b, a, 1.0 - x) / b;
}

}  // namespace

double StudentT(double t, double nu) {
    const double tail = 0.5 * incompleteBeta(nu / 2.0, 0.5, nu / (nu + t * t));
    return t >= 0 ? 1.0 - tail : tail;
}

double CoverageFactor(double nu, double probability) {
    const double target = (1.0 + probability) / 2.0;
    if (!(nu < kNormalDegrees)) {
        // The normal distribution: bisection on erf.
        double lo = 0, hi = 10;
        for (int i = 0; i < 200; ++i) {
            const double mid = (lo + hi) / 2;
            (0.5 * (1.0 + std::erf(mid / std::sqrt(2.0))) < target ? lo : hi) = mid;
        }
        return (lo + hi) / 2;
    }
    double lo = 0, hi = 1000;
    for (int i = 0; i < 200; ++i) {
        const double mid = (lo + hi) / 2;
        (StudentT(mid, nu) < target ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
}

double EffectiveDegrees(double u, double uA, double nuA) {
    if (!(uA > 0)) return std::numeric_limits<double>::infinity();
    const double ratio = u / uA;
    return nuA * ratio * ratio * ratio * ratio;
}

}  // namespace q270
