#include "linear_model.h"

#include <cmath>

namespace q270 {

namespace {

constexpr double kPpm = 1e6;

}  // namespace

LinearModel::LinearModel(const PerStep<double>& readings, const PerStep<double>& weights)
    : x_(readings), w_(weights) {
    for (int i = 1; i <= kStepCount; ++i) total_ += w_[std::size_t(i)] * x_[std::size_t(i)];
    for (int j = 1; j <= kPointCount; ++j) {
        double level = 0;
        for (int i = 1; i <= kStepCount; ++i)
            if (InPoint(i, j)) level += w_[std::size_t(i)] * x_[std::size_t(i)];
        share_[std::size_t(j)] = level / total_;
        err_[std::size_t(j)] = kPpm * (j * 0.1 - share_[std::size_t(j)]);
    }
}

double LinearModel::slopeByReading(int point, int step) const {
    const double inside = InPoint(step, point) ? 1.0 : 0.0;
    return -kPpm * w_[std::size_t(step)] * (inside - share_[std::size_t(point)]) / total_;
}

double LinearModel::slopeByWeight(int point, int step) const {
    const double inside = InPoint(step, point) ? 1.0 : 0.0;
    return -kPpm * x_[std::size_t(step)] * (inside - share_[std::size_t(point)]) / total_;
}

double LinearModel::readingSensitivity(int point) const {
    double sum = 0;
    for (int i = 1; i <= kStepCount; ++i) sum += std::pow(slopeByReading(point, i), 2);
    return std::sqrt(sum);
}

}  // namespace q270
