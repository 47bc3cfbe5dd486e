#include "scenario_instruments.h"

#include <cmath>
#include <string>

#include "scenario_json.h"

namespace zdx::bench {

namespace {

using namespace scenario_json;

// Beyond these a value is a typo, not a unit worth simulating.
constexpr double kMaxDeviationPpm = 100000;
constexpr double kMaxExcitationV = 100;
constexpr int kMaxMs = 3600 * 1000;

double finiteNumber(const json& j, const char* key, double fallback) {
    const double v = get<double>(j, key, fallback);
    if (!std::isfinite(v)) fail(std::string("\"") + key + "\" must be a finite number");
    return v;
}

int milliseconds(const json& j, const char* key, int fallback) {
    const int ms = get<int>(j, key, fallback);
    if (ms < 0 || ms > kMaxMs) fail(std::string("\"") + key + "\" must be 0..3600000");
    return ms;
}

}  // namespace

DividerConfig parseDivider(const json& j) {
    DividerConfig c;
    if (j.is_null()) return c;
    checkKeys(j, {"deviations_ppm", "spread_ppm", "seed", "excitation_v", "trims_ohm"}, "divider");
    if (j.contains("deviations_ppm") && j.contains("spread_ppm"))
        fail("divider: \"deviations_ppm\" or \"spread_ppm\", not both");
    if (j.contains("deviations_ppm")) {
        const json& d = arrayOf(j, "deviations_ppm");
        if (d.size() != kDividerResistors)
            fail("\"deviations_ppm\" must hold 20 numbers, R97 first");
        for (int i = 0; i < kDividerResistors; ++i) {
            if (!d[i].is_number()) fail("\"deviations_ppm\" must hold numbers");
            c.deviationsPpm[i] = d[i].get<double>();
        }
    } else if (j.contains("spread_ppm")) {
        const double spread = finiteNumber(j, "spread_ppm", 0);
        if (spread < 0) fail("\"spread_ppm\" must be >= 0");
        c.deviationsPpm = spreadDeviations(spread, get<std::uint64_t>(j, "seed", 1));
    }
    for (double d : c.deviationsPpm)
        if (!(std::fabs(d) <= kMaxDeviationPpm)) fail("a deviation must be within +-100000 ppm");
    c.excitationV = finiteNumber(j, "excitation_v", c.excitationV);
    if (c.excitationV == 0 || std::fabs(c.excitationV) > kMaxExcitationV)
        fail("\"excitation_v\" must be non-zero and within +-100");
    if (j.contains("trims_ohm")) {
        const json& t = j.at("trims_ohm");
        if (!t.is_object()) fail("\"trims_ohm\" must be an object like {\"R103\": 750000}");
        for (const auto& item : t.items()) {
            const int number = resistorNumber(item.key());
            if (!number) fail("\"trims_ohm\": no resistor \"" + item.key() + "\" (R97..R116)");
            const double ohm = item.value().is_number() ? item.value().get<double>() : -1;
            if (!(std::isfinite(ohm) && ohm > 0)) fail("a trim resistance must be > 0 ohms");
            c.trimsOhm[number - kFirstResistor] = ohm;
        }
    }
    return c;
}

std::unique_ptr<MeterModel> makeMeter(const json& j,
                                      std::chrono::steady_clock::time_point loadedAt) {
    checkKeys(j,
              {"com", "kind", "calibrator", "reading_ms", "settle_ms", "noise_uv", "drift_uv_per_s",
               "seed", "faults", "remote", "plugged", "baud", "unplug_after_readings",
               "unplug_at_ms", "replug_at_ms"},
              "meter");
    MeterConfig c;
    c.calibrator = get<std::string>(j, "calibrator", "");
    c.readingTime = std::chrono::milliseconds(milliseconds(j, "reading_ms", 300));
    c.settleTime = std::chrono::milliseconds(milliseconds(j, "settle_ms", 50));
    c.noiseUv = finiteNumber(j, "noise_uv", 0);
    if (c.noiseUv < 0) fail("\"noise_uv\" must be >= 0");
    c.driftUvPerS = finiteNumber(j, "drift_uv_per_s", 0);
    c.seed = get<std::uint64_t>(j, "seed", 1);
    for (const auto& f : arrayOf(j, "faults")) {
        auto fault = meterFaultFromName(f.is_string() ? f.get<std::string>() : std::string());
        if (!fault) fail("unknown meter fault " + f.dump() + " (silent, late, garbage, overload)");
        c.faults.insert(*fault);
    }
    c.remote = get<bool>(j, "remote", false);
    c.plugged = get<bool>(j, "plugged", true);
    c.unplugAfterReadings = get<int>(j, "unplug_after_readings", -1);
    if (j.contains("unplug_after_readings") && c.unplugAfterReadings < 1)
        fail("\"unplug_after_readings\" must be >= 1");
    if (j.contains("unplug_at_ms"))
        c.unplugAt = std::chrono::milliseconds(milliseconds(j, "unplug_at_ms", 0));
    if (j.contains("replug_at_ms"))
        c.replugAt = std::chrono::milliseconds(milliseconds(j, "replug_at_ms", 0));
    return std::make_unique<MeterModel>(std::move(c), loadedAt);
}

}  // namespace zdx::bench
