#include "divider.h"

#include <cmath>

#include "seeded_random.h"

namespace zdx::bench {

int resistorNumber(const std::string& name) {
    if (name.size() < 3 || name.size() > 4 || name[0] != 'R') return 0;
    int n = 0;
    for (std::size_t i = 1; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        n = n * 10 + (name[i] - '0');
    }
    return Divider::isResistor(n) ? n : 0;
}

std::array<double, kDividerResistors> spreadDeviations(double spreadPpm, std::uint64_t seed) {
    SeededRandom random(seed);
    std::array<double, kDividerResistors> d{};
    for (double& v : d) v = spreadPpm * (2.0 * random.uniform() - 1.0);
    return d;
}

double Divider::deviationPpm(int number) const {
    return isResistor(number) ? config_.deviationsPpm[number - kFirstResistor] : 0.0;
}

std::optional<double> Divider::trimOhm(int number) const {
    return isResistor(number) ? config_.trimsOhm[number - kFirstResistor] : std::nullopt;
}

bool Divider::setTrim(int number, std::optional<double> ohm) {
    if (!isResistor(number)) return false;
    if (ohm && !(std::isfinite(*ohm) && *ohm > 0)) return false;
    config_.trimsOhm[number - kFirstResistor] = ohm;
    return true;
}

double Divider::resistanceOhm(int number) const {
    if (!isResistor(number)) return 0.0;
    const double r = kNominalOhm * (1.0 + deviationPpm(number) * 1e-6);
    const auto trim = trimOhm(number);
    return trim ? r * *trim / (r + *trim) : r;
}

double Divider::totalOhm() const {
    double sum = 0;
    for (int k = kFirstResistor; k <= kLastResistor; ++k) sum += resistanceOhm(k);
    return sum;
}

double Divider::voltsAcross(int number) const {
    if (!isResistor(number)) return 0.0;
    return config_.excitationV * resistanceOhm(number) / totalOhm();
}

}  // namespace zdx::bench
