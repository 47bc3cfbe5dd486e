// What the tool tests share: running zdx-q270 as a subprocess, run files made
// from a divider with known deviations, and bad variants of them.
#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "run_file.h"

namespace zdxtool::testing {

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// zdx-q270 with the arguments, in this process's environment.
// `environment` adds NAME=VALUE entries.
inline ToolRun RunTool(const std::vector<std::string>& args, int timeoutMs = 120000,
                       const std::vector<std::string>& environment = {}) {
    QStringList list;
    for (const auto& a : args) list << QString::fromStdString(a);
    QProcess process;
    QStringList env = QProcess::systemEnvironment();
    for (const auto& e : environment) env << QString::fromStdString(e);
    process.setEnvironment(env);
    process.start(QStringLiteral(ZDX_Q270_TOOL), list);
    ToolRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.err = "timed out";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

// Deviations of the resistors of steps 1..20 (step i measures R(117 - i)), ppm.
inline constexpr std::array<double, 20> kStepDeviationsPpm = {
    -17, 21, 9, -12, 5, 14, -30, -6, 18, 0, 10, -22, 7, -4, 30, -15, 3, 25, -8, 12};

// The readings a noiseless meter gives for a divider with these deviations at
// 5 V, as "%+.8E" texts with CR LF, and the run record of them.
inline q270::RunRecord CraftedRun(const std::array<double, 20>& ppm = kStepDeviationsPpm) {
    double total = 0;
    for (const double d : ppm) total += 120.0 * (1 + d * 1e-6);
    q270::RunRecord record;
    for (int step = 1; step <= q270::kStepCount; ++step) {
        const double volts = 5.0 * 120.0 * (1 + ppm[std::size_t(step - 1)] * 1e-6) / total;
        char text[32];
        std::snprintf(text, sizeof text, "%+.8E\r\n", volts);
        q270::RunReading reading;
        reading.text = text;
        reading.volts = std::strtod(text, nullptr);
        record.Mw1[step] = reading;
        record.Mw2[step] = reading;
    }
    record.calibratorSerial = "Q270S9-00417";
    record.calibratorId = "Q270S9 V1.18";
    record.time = "2026-12-08T02:15:00Z";
    return record;
}

inline nlohmann::json CraftedJson(const q270::RunRecord& record = CraftedRun()) {
    return nlohmann::json::parse(q270::RunFileText(record));
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A bad run file: its text, and the field its error must name.
struct BadFile {
    const char* name;
    std::string text;
    const char* field;
};

inline std::vector<BadFile> BadFiles() {
    const nlohmann::json good = CraftedJson();
    const std::string goodText = good.dump(2);
    auto with = [&](auto change) {
        nlohmann::json doc = good;
        change(doc);
        return doc.dump(2);
    };
    auto reading = [&](std::size_t step, const char* key, nlohmann::json value) {
        return with([&](nlohmann::json& d) { d["steps"][step][key] = value; });
    };
    // Every reading of the run the same value.
    auto allReadings = [&](double volts, const char* text) {
        return with([&](nlohmann::json& d) {
            for (auto& step : d["steps"]) {
                step["Mw1"] = volts;
                step["Mw2"] = volts;
                step["Mw1_text"] = text;
                step["Mw2_text"] = text;
            }
        });
    };
    std::string nanText = goodText;
    nanText.replace(nanText.find("\"Mw2\": ") + 7, 1, "NaN, \"x\": 0");
    std::string infText = reading(4, "Mw2", 0.0);
    infText.replace(infText.find("\"Mw2\": 0.0"), 10, "\"Mw2\": 1e400");
    std::string fakeVersion = goodText;
    return {
        {"empty", "", "JSON"},
        {"truncated", goodText.substr(0, goodText.size() / 2), "JSON"},
        {"not JSON", "step;Mw1;Mw2\n1;0.25;0.25\n", "JSON"},
        {"not an object", "[1, 2, 3]", "JSON object"},
        {"nested too deeply", std::string(50, '[') + std::string(50, ']'), "nested"},
        {"other format", with([](auto& d) { d["format"] = "csv"; }), "format"},
        {"version 2", with([](auto& d) { d["version"] = 2; }), "version"},
        {"version as text", with([](auto& d) { d["version"] = "1"; }), "version"},
        {"no version", with([](auto& d) { d.erase("version"); }), "version"},
        {"unknown field", with([](auto& d) { d["comment"] = "x"; }), "comment"},
        {"nineteen steps", with([](auto& d) { d["steps"].erase(19); }), "steps"},
        {"steps not an array", with([](auto& d) { d["steps"] = 20; }), "steps"},
        {"steps out of order", with([](auto& d) { std::swap(d["steps"][0], d["steps"][1]); }),
         "steps[0].step"},
        {"reading as text", reading(3, "Mw1", "0.25"), "steps[3].Mw1"},
        {"reading missing", with([](auto& d) { d["steps"][7].erase("Mw2"); }), "steps[7].Mw2"},
        {"reading null", reading(2, "Mw2", nullptr), "steps[2].Mw2"},
        {"NaN", nanText, "JSON"},
        {"infinity", infText, "beyond the range of numbers"},
        {"zero reading", reading(5, "Mw2", 0.0), "steps[5].Mw2"},
        {"zero sum", allReadings(0.0, "+0.00000000E+00\r\n"), "steps[0].Mw1"},
        {"negative reading", reading(6, "Mw1", -0.25), "steps[6].Mw1"},
        {"negative run", allReadings(-0.25, "-2.50000000E-01\r\n"), "steps[0].Mw1"},
        {"absurd reading", reading(8, "Mw2", 5.0), "steps[8].Mw2"},
        {"overload", reading(9, "Mw1", 9.9e37), "steps[9].Mw1"},
        {"reading below resolution", reading(1, "Mw2", 1e-9), "steps[1].Mw2"},
        {"text disagrees", reading(10, "Mw2_text", "+2.60000000E-01\r\n"), "steps[10].Mw2"},
        {"long text says 0.1 V beside 1.0", with([](auto& d) {
             d["steps"][10]["Mw2"] = 1.0;
             d["steps"][10]["Mw2_text"] = "+1." + std::string(40, '0') + "E-01\r\n";
         }),
         "steps[10].Mw2"},
        {"text no number", reading(11, "Mw1_text", "+#.~%\r\n"), "steps[11].Mw1_text"},
        {"trim 6", reading(12, "ShuntSel", 6), "steps[12].ShuntSel"},
        {"trim -1", reading(13, "ShuntSel", -1), "steps[13].ShuntSel"},
        {"trim 2.5", reading(14, "ShuntSel", 2.5), "steps[14].ShuntSel"},
        {"trim as text", reading(15, "ShuntSel", "3"), "steps[15].ShuntSel"},
        {"no serial", with([](auto& d) { d["calibrator"]["serial"] = ""; }), "calibrator.serial"},
        {"bad time", with([](auto& d) { d["time"] = "8.12.2026 02:15"; }), "time"},
        {"31 February", with([](auto& d) { d["time"] = "2026-02-31T02:15:00Z"; }), "time"},
        {"leap second", with([](auto& d) { d["time"] = "2016-12-31T23:59:60Z"; }), "time"},
        {"meter id a number", with([](auto& d) { d["meter"]["id"] = 34401; }), "meter.id"},
    };
}

}  // namespace zdxtool::testing
