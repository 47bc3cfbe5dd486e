// The coverage factor of an expanded uncertainty: Student's t for the
// effective degrees of freedom at the coverage probability of k = 2 for a
// normal distribution (95.45 %), so that U = k u covers about 95 %.
#pragma once

namespace q270 {

inline constexpr double kCoverageProbability = 0.9545;

// Student's t distribution function at t for nu > 0 degrees of freedom.
double StudentT(double t, double nu);

// k with P(|T| <= k) = probability for nu degrees of freedom; nu at or above
// 1E6 (or infinite) gives the normal distribution's value.
double CoverageFactor(double nu, double probability = kCoverageProbability);

// Welch-Satterthwaite: the effective degrees of freedom of a combined
// standard uncertainty u from one component uA with nuA degrees of freedom,
// the others taken as exactly known (Type B, infinite degrees of freedom).
double EffectiveDegrees(double u, double uA, double nuA);

}  // namespace q270
