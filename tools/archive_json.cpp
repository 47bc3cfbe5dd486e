#include "archive_json.h"

#include <cmath>
#include <cstdio>

#include "archiver.h"
#include "commands.h"
#include "evaluation_json.h"
#include "uncertainty.h"

namespace zdxtool {

using json = nlohmann::ordered_json;

namespace {

constexpr const char* kApplication = "ZDXKalQ270";
constexpr std::array<const char*, 6> kTrimShort = {"", "2.0M", "1.0M", "750k", "499k", "301k"};

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

json shuntJson(const std::array<std::int16_t, q270::kStepCount>& sel) {
    json list = json::array();
    for (const auto s : sel) list.push_back(s);
    return list;
}

}  // namespace

RunUncertainty UncertaintyOf(const q270::ArchivedRun& run) {
    q270::ResultsData readings = q270::ToResultsData(run.record);
    RunUncertainty u;
    u.noise = q270::ReadingNoise(readings);
    const auto all = q270::LinErrUncertainty(readings, false, u.noise);
    std::size_t largest = 0;
    for (std::size_t j = 0; j < run.linErr.size(); ++j) {
        u.linErr[j] = all[j + 1];
        if (std::fabs(run.linErr[j]) > std::fabs(run.linErr[largest])) largest = j;
    }
    u.atLargest = u.linErr[largest];
    if (run.decision) {
        for (std::size_t i = 0; i < q270::kStepCount; ++i)
            readings.ShuntSel[i + 1] = run.decision->ShuntSel[i];
        u.prediction = q270::PredictTrim(readings, u.noise);
    }
    return u;
}

std::string TrimsText(const std::array<std::int16_t, q270::kStepCount>& shuntSel) {
    std::string text;
    for (std::size_t i = 0; i < q270::kStepCount; ++i) {
        const int choice = shuntSel[i];
        if (choice <= 0 || choice >= int(kTrimShort.size())) continue;
        if (!text.empty()) text += ' ';
        text += "R" + std::to_string(116 - int(i)) + "=" + kTrimShort[std::size_t(choice)];
    }
    return text.empty() ? "-" : text;
}

json ArchivedRunJson(const q270::ArchivedRun& run, bool whole) {
    const q270::RunRecord& r = run.record;
    const RunUncertainty u = UncertaintyOf(run);
    json linErr = json::array(), uLinErr = json::array();
    for (const double e : run.linErr) linErr.push_back(e);
    for (const double e : u.linErr) uLinErr.push_back(std::round(e * 1000) / 1000);
    json doc = {{"run_id", run.runId},
                {"time", r.time},
                {"calibrator", {{"serial", r.calibratorSerial}, {"id", r.calibratorId}}},
                {"meter", {{"id", r.meterId ? json(*r.meterId) : json(nullptr)}}},
                {"bench_host", run.origin.benchHost},
                {"operator", run.origin.operatorLogin},
                {"program_version", run.origin.programVersion},
                {"ErrSq", run.errSq},
                {"LinErrMax", q270::LargestLinErr(run)},
                {"LinErr", linErr},
                {"u_LinErr", uLinErr},
                {"reading_noise_uV", std::round(u.noise * 1e9) / 1000},
                {"ShuntSel", shuntJson(q270::TrimChoicesOf(r))}};
    if (run.decision) {
        json predicted = json::array();
        for (const double e : run.decision->predictedLinErr) predicted.push_back(e);
        doc["decision"] = {{"ShuntSel", shuntJson(run.decision->ShuntSel)},
                           {"trims", TrimsText(run.decision->ShuntSel)},
                           {"LinErr", predicted},
                           {"ErrSq", run.decision->predictedErrSq},
                           {"improvement", u.prediction.improvement},
                           {"u_improvement", u.prediction.u},
                           {"within_noise", u.prediction.withinNoise}};
    } else {
        doc["decision"] = nullptr;
    }
    if (whole) {
        json steps = json::array();
        for (std::size_t i = 0; i < q270::kStepCount; ++i)
            steps.push_back({{"step", i + 1},
                             {"Mw1", r.Mw1[i + 1].volts},
                             {"Mw1_text", r.Mw1[i + 1].text},
                             {"Mw2", r.Mw2[i + 1].volts},
                             {"Mw2_text", r.Mw2[i + 1].text}});
        doc["steps"] = steps;
    }
    return doc;
}

std::string ArchiveCsvHeader() {
    std::string h =
        "run_id,serial,calibrator_id,time,bench_host,operator,meter_id,program_version,ErrSq,"
        "LinErrMax";
    for (int j = 1; j <= 10; ++j) h += ",LinErr_" + std::to_string(j * 10);
    h += ",trims,decision,predicted_ErrSq";
    for (int j = 1; j <= 10; ++j) h += ",predicted_LinErr_" + std::to_string(j * 10);
    for (int i = 1; i <= 20; ++i) h += ",Mw1_" + std::to_string(i) + ",Mw2_" + std::to_string(i);
    return h + "\r\n";
}

std::string ArchiveCsvLine(const q270::ArchivedRun& run) {
    const q270::RunRecord& r = run.record;
    std::string line = csvField(run.runId) + "," + csvField(r.calibratorSerial) + "," +
                       csvField(r.calibratorId) + "," + r.time + "," +
                       csvField(run.origin.benchHost) + "," + csvField(run.origin.operatorLogin) +
                       "," + csvField(r.meterId.value_or("")) + "," +
                       csvField(run.origin.programVersion) + "," + number(run.errSq) + "," +
                       number(q270::LargestLinErr(run));
    for (const double e : run.linErr) line += "," + number(e);
    line += "," + csvField(TrimsText(q270::TrimChoicesOf(r)));
    if (run.decision) {
        line += "," + csvField(TrimsText(run.decision->ShuntSel)) + "," +
                number(run.decision->predictedErrSq);
        for (const double e : run.decision->predictedLinErr) line += "," + number(e);
    } else {
        line += ",,";
        for (int j = 0; j < 10; ++j) line += ",";
    }
    for (std::size_t i = 0; i < q270::kStepCount; ++i)
        line += "," + number(r.Mw1[i + 1].volts) + "," + number(r.Mw2[i + 1].volts);
    return line + "\r\n";
}

std::unique_ptr<q270::SqlArchive> OpenArchive() {
    q270::Archiver archiver = q270::Archiver::Configured(QString::fromLatin1(kApplication));
    const q270::ArchiveReport sent = archiver.sendSpool();
    if (sent.sent > 0 || sent.waiting > 0) Complain(q270::ArchiveStatusText(sent));
    try {
        return std::make_unique<q270::SqlArchive>(
            q270::ReadArchiveSettings(QString::fromLatin1(kApplication)));
    } catch (const std::exception& error) {
        Complain(error.what());
        return nullptr;
    }
}

}  // namespace zdxtool
