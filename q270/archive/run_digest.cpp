#include "run_digest.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <nlohmann/json.hpp>

namespace q270 {

namespace {

using nlohmann::json;

// The canonical text is compact JSON: keys sorted, texts escaped, numbers in
// their shortest exact form, arrays by step 1..20 and point 1..10.
template <typename T, std::size_t N>
json listOf(const std::array<T, N>& values, int count) {
    json list = json::array();
    for (int i = 1; i <= count; ++i) list.push_back(values[std::size_t(i)]);
    return list;
}

json decisionJson(const TrimDecision& d) {
    return {{"shunt_sel", listOf(d.ShuntSel, kStepCount)},
            {"predicted_lin_err", listOf(d.predictedLinErr, kPointCount)},
            {"predicted_err_sq", d.predictedErrSq}};
}

std::string digestOf(const json& content) {
    const std::string text = content.dump(-1, ' ', false, json::error_handler_t::replace);
    return "sha256:" +
           QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Sha256)
               .toHex()
               .toStdString();
}

}  // namespace

std::string RunDigest(const ArchivedRun& run) {
    const RunRecord& r = run.record;
    json steps = json::array();
    for (int step = 1; step <= kStepCount; ++step) {
        const std::size_t i = std::size_t(step);
        steps.push_back(
            {r.Mw1[i].volts, r.Mw1[i].text, r.Mw2[i].volts, r.Mw2[i].text, r.ShuntSel[i]});
    }
    json acceptance = nullptr;
    if (run.acceptance)
        acceptance = {{"limit_ppm",
                       run.acceptance->limitPpm ? json(*run.acceptance->limitPpm) : json(nullptr)},
                      {"rule", RuleName(run.acceptance->rule)}};
    return digestOf({{"run_id", run.runId},
                     {"serial", r.calibratorSerial},
                     {"calibrator_id", r.calibratorId},
                     {"time", r.time},
                     {"meter_id", r.meterId ? json(*r.meterId) : json(nullptr)},
                     {"bench_host", run.origin.benchHost},
                     {"operator", run.origin.operatorLogin},
                     {"program_version", run.origin.programVersion},
                     {"err_sq", run.errSq},
                     {"lin_err", listOf(run.linErr, kPointCount)},
                     {"steps", steps},
                     {"decision", run.decision ? decisionJson(*run.decision) : json(nullptr)},
                     {"as_left_of", run.asLeftOf ? json(*run.asLeftOf) : json(nullptr)},
                     {"acceptance", acceptance}});
}

std::string AmendmentDigest(const std::string& runId, const Amendment& a) {
    return digestOf({{"run_id", runId},
                     {"time", a.time},
                     {"operator", a.operatorLogin},
                     {"decision", decisionJson(a.decision)}});
}

}  // namespace q270
