// What the archive tests share: complete runs made from a divider with
// deviations and two readings per step that differ by a little noise, and
// the main of an archive test program (its data and settings in a folder of
// its own).
#pragma once

#include <QCoreApplication>
#include <QTemporaryDir>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "archived_run.h"

namespace q270::testing {

// Readings of a divider at 5 V with these deviations (ppm, step 1..20), each
// step's two readings apart by +-noise (volts, alternating in sign).
inline RunRecord DividerRun(const std::string& serial, const std::string& time,
                            double offsetPpm = 0, double noise = 0.4e-6) {
    static constexpr std::array<double, 20> kPpm = {150, -20, 310, 40,  0,   220, -60,
                                                    90,  260, 10,  -40, 180, 30,  350,
                                                    -10, 120, 70,  200, -30, 240};
    double total = 0;
    for (const double d : kPpm) total += 120.0 * (1 + (d + offsetPpm) * 1e-6);
    RunRecord record;
    for (std::size_t i = 0; i < 20; ++i) {
        const double volts = 5.0 * 120.0 * (1 + (kPpm[i] + offsetPpm * (i % 3)) * 1e-6) / total;
        for (int k = 0; k < 2; ++k) {
            const double v = volts + (k == 0 ? 1 : -1) * (i % 2 ? noise : -noise) / 2;
            char text[32];
            std::snprintf(text, sizeof text, "%+.8E\r\n", v);
            RunReading& reading = k == 0 ? record.Mw1[i + 1] : record.Mw2[i + 1];
            reading.text = text;
            reading.volts = std::strtod(text, nullptr);
        }
    }
    record.calibratorSerial = serial;
    record.calibratorId = "Q270S9 V1.18";
    record.meterId = "BENCH,DMM,0,1.0";
    record.time = time;
    return record;
}

inline RunOrigin TestBench() {
    return {"bench-7", "tester", "1.0"};
}

// Trim choices as (step, choice) pairs; the other steps have none.
inline PerStep<std::int16_t> TrimsAt(std::initializer_list<std::pair<int, int>> choices) {
    PerStep<std::int16_t> sel{};
    for (const auto& [step, choice] : choices) sel[std::size_t(step)] = std::int16_t(choice);
    return sel;
}

inline ArchivedRun Archived(const std::string& serial, const std::string& time,
                            std::optional<PerStep<std::int16_t>> decision = std::nullopt,
                            double offsetPpm = 0) {
    return MakeArchivedRun(DividerRun(serial, time, offsetPpm), TestBench(), NewRunId(), decision);
}

}  // namespace q270::testing
