// The evaluation's 10 % point errors as a function of the readings, in
// double precision: LinErr(j) = 1E6 (j/10 - sum over the point's steps of
// w x / sum of all w x), with x the reading and w the trim factor of each
// step (1 untrimmed). Its derivatives carry an uncertainty of the readings or
// of the trim factors to each point.
#pragma once

#include "step_sequence.h"

namespace q270 {

class LinearModel {
  public:
    LinearModel(const PerStep<double>& readings, const PerStep<double>& weights);

    // Step i (1..20) belongs to the lowest j segments of both sweeps.
    static bool InPoint(int step, int point) {
        return step >= kStepCount / 2 + 1 - point && step <= kStepCount / 2 + point;
    }

    double linErr(int point) const { return err_[std::size_t(point)]; }
    // dLinErr(j) / dx(i), ppm per volt.
    double slopeByReading(int point, int step) const;
    // dLinErr(j) / dw(i), ppm per unit of trim factor.
    double slopeByWeight(int point, int step) const;
    // sqrt(sum over the steps of slopeByReading^2): u(LinErr(j)) per volt of
    // independent noise on every reading.
    double readingSensitivity(int point) const;

    const PerStep<double>& readings() const { return x_; }
    const PerStep<double>& weights() const { return w_; }
    double total() const { return total_; }

  private:
    PerStep<double> x_{}, w_{};
    double total_ = 0;
    PerPoint<double> share_{}, err_{};
};

}  // namespace q270
