#include "run_json.h"

#include <cmath>

#include "run_facts.h"
#include "run_figures.h"

namespace zdxtool {

using json = nlohmann::ordered_json;

namespace {

// Storage edge: steps 1..20 and points 1..10 as JSON arrays.
json stepsJson(const q270::PerStep<std::int16_t>& sel) {
    json list = json::array();
    for (int step = 1; step <= q270::kStepCount; ++step) list.push_back(sel[std::size_t(step)]);
    return list;
}

json pointsJson(const q270::PerPoint<double>& values, double scale = 0) {
    json list = json::array();
    for (int j = 1; j <= q270::kPointCount; ++j) {
        const double v = values[std::size_t(j)];
        list.push_back(scale > 0 ? std::round(v * scale) / scale : v);
    }
    return list;
}

}  // namespace

json ArchivedRunJson(const q270::ArchivedRun& run, bool whole) {
    const q270::RunRecord& r = run.record;
    const q270::RunUncertainty u = q270::UncertaintyOf(run);
    json doc = json::object();
    for (const q270::RunFact& fact : q270::RunFacts()) {
        const auto value = fact.value(run);
        doc[json::json_pointer(fact.jsonPointer)] = value ? json(*value) : json(nullptr);
    }
    doc["ErrSq"] = run.errSq;
    doc["LinErrMax"] = q270::LargestLinErr(run);
    doc["LinErr"] = pointsJson(run.linErr);
    doc["u_LinErr"] = pointsJson(u.linErr, 1000);
    doc["reading_noise_uV"] = std::round(u.noise * 1e9) / 1000;
    doc["ShuntSel"] = stepsJson(r.ShuntSel);
    json acceptance = nullptr;
    if (run.acceptance)
        acceptance = {{"limit_ppm",
                       run.acceptance->limitPpm ? json(*run.acceptance->limitPpm) : json(nullptr)},
                      {"rule", q270::RuleName(run.acceptance->rule)}};
    doc["as_left_of"] = run.asLeftOf ? json(*run.asLeftOf) : json(nullptr);
    doc["acceptance"] = acceptance;
    // The decision in force, and whether it was amended after archiving.
    const q270::DecisionInForce inForce = q270::CurrentDecision(run);
    if (inForce.decision) {
        const q270::TrimDecision& d = *inForce.decision;
        doc["decision"] = {
            {"ShuntSel", stepsJson(d.ShuntSel)},        {"trims", q270::TrimsText(d.ShuntSel)},
            {"LinErr", pointsJson(d.predictedLinErr)},  {"ErrSq", d.predictedErrSq},
            {"improvement", u.prediction.improvement},  {"u_improvement", u.prediction.u},
            {"within_noise", u.prediction.withinNoise}, {"amended", inForce.amended}};
        if (inForce.amended) {
            doc["decision"]["amended_at"] = inForce.amendedAt;
            doc["decision"]["amended_by"] = inForce.amendedBy;
        }
    } else {
        doc["decision"] = nullptr;
    }
    if (!run.amendments.empty()) {
        doc["archived_decision"] =
            run.decision ? json(stepsJson(run.decision->ShuntSel)) : json(nullptr);
        json amendments = json::array();
        for (const q270::Amendment& a : run.amendments)
            amendments.push_back({{"time", a.time},
                                  {"operator", a.operatorLogin},
                                  {"ShuntSel", stepsJson(a.decision.ShuntSel)},
                                  {"trims", q270::TrimsText(a.decision.ShuntSel)}});
        doc["amendments"] = amendments;
    }
    if (whole) {
        json steps = json::array();
        for (int step = 1; step <= q270::kStepCount; ++step) {
            const std::size_t i = std::size_t(step);
            steps.push_back({{"step", step},
                             {"Mw1", r.Mw1[i].volts},
                             {"Mw1_text", r.Mw1[i].text},
                             {"Mw2", r.Mw2[i].volts},
                             {"Mw2_text", r.Mw2[i].text}});
        }
        doc["steps"] = steps;
    }
    return doc;
}

}  // namespace zdxtool
