#include "calibration.h"

#include <algorithm>
#include <map>

#include "meter_register.h"

namespace q270 {

namespace {

const ArchivedRun* byId(const std::vector<ArchivedRun>& runs, const std::string& id) {
    const auto it =
        std::find_if(runs.begin(), runs.end(), [&](const ArchivedRun& r) { return r.runId == id; });
    return it == runs.end() ? nullptr : &*it;
}

}  // namespace

bool FitsTrims(const ArchivedRun& run) {
    if (!run.decision) return false;
    const auto& sel = run.decision->ShuntSel;
    return std::any_of(sel.begin() + 1, sel.end(), [](std::int16_t s) { return s != 0; });
}

Calibration CalibrationOf(const ArchivedRun& run, const std::vector<ArchivedRun>& unitRuns) {
    if (run.asLeftOf) {
        if (const ArchivedRun* found = byId(unitRuns, *run.asLeftOf)) return {*found, run};
        return {run, std::nullopt};
    }
    if (!FitsTrims(run)) return {run, run};
    const ArchivedRun* latest = nullptr;
    for (const ArchivedRun& r : unitRuns)
        if (r.asLeftOf == run.runId && (!latest || r.record.time >= latest->record.time))
            latest = &r;
    if (latest) return {run, *latest};
    return {run, std::nullopt};
}

std::vector<ArchivedRun> AsLeftCandidates(const std::vector<ArchivedRun>& unitRuns) {
    std::vector<ArchivedRun> candidates;
    for (const ArchivedRun& run : unitRuns)
        if (!run.asLeftOf && FitsTrims(run)) candidates.push_back(run);
    std::stable_sort(
        candidates.begin(), candidates.end(),
        [](const ArchivedRun& a, const ArchivedRun& b) { return a.record.time > b.record.time; });
    return candidates;
}

Acceptance AcceptanceOf(const ArchivedRun& run, const ReportOptions& options) {
    return run.acceptance.value_or(options.acceptance);
}

RunVerdict VerdictOfRun(const ArchivedRun& run, const std::optional<ArchivedRun>& asFound,
                        const ReportOptions& options) {
    ReportOptions own = options;
    own.acceptance = AcceptanceOf(run, options);
    RunVerdict v;
    v.statement = MakeStatement(run.record, own.acceptance);
    const Statement& measured = v.statement;
    v.withheldBecause = WithheldBecause(run, own);
    if (v.withheldBecause.empty()) v.verdict = measured.verdict;
    if (asFound && FitsTrims(*asFound)) {
        const Statement predicted =
            MakeStatement(asFound->record, AcceptanceOf(*asFound, options),
                          asFound->decision->ShuntSel, options.trimTolerance);
        v.predictionAgrees = CheckPrediction(measured, predicted).allAgree;
    }
    return v;
}

std::vector<RunVerdict> VerdictsOf(SqlArchive& archive, const std::vector<ArchivedRun>& runs,
                                   const ReportOptions& site) {
    MeterRegister meters(archive);
    std::map<std::string, std::vector<ReferenceMeter>> entries;  // by meter ID
    std::map<std::string, std::optional<ArchivedRun>> found;     // by run ID
    // An as-left run is checked against the decision in force of its as-found run.
    for (const ArchivedRun& run : runs) found.emplace(run.runId, WithDecisionInForce(run));

    std::vector<RunVerdict> verdicts;
    verdicts.reserve(runs.size());
    for (const ArchivedRun& run : runs) {
        ReportOptions options = site;
        if (const auto& id = run.record.meterId) {
            auto it = entries.find(*id);
            if (it == entries.end()) it = entries.emplace(*id, meters.entriesOf(*id)).first;
            options.meter = MeterInForce(id, run.record.time, it->second).entry;
        }
        std::optional<ArchivedRun> asFound;
        if (run.asLeftOf) {
            auto it = found.find(*run.asLeftOf);
            if (it == found.end()) {
                std::optional<ArchivedRun> fetched = archive.fetch(*run.asLeftOf);
                if (fetched) fetched = WithDecisionInForce(std::move(*fetched));
                it = found.emplace(*run.asLeftOf, std::move(fetched)).first;
            }
            asFound = it->second;
        }
        verdicts.push_back(VerdictOfRun(run, asFound, options));
    }
    return verdicts;
}

}  // namespace q270
