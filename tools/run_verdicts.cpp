#include "run_verdicts.h"

#include <map>

#include "meter_register.h"
#include "statement_json.h"

namespace zdxtool {

std::vector<q270::RunVerdict> VerdictsOf(q270::SqlArchive& archive,
                                         const std::vector<q270::ArchivedRun>& runs,
                                         const q270::ReportOptions& site) {
    q270::MeterRegister meters(archive);
    std::map<std::string, std::vector<q270::ReferenceMeter>> entries;  // by meter ID
    std::map<std::string, std::optional<q270::ArchivedRun>> found;     // by run ID
    // An as-left run is checked against the decision in force of its as-found run.
    for (const q270::ArchivedRun& run : runs)
        found.emplace(run.runId, q270::WithDecisionInForce(run));

    std::vector<q270::RunVerdict> verdicts;
    verdicts.reserve(runs.size());
    for (const q270::ArchivedRun& run : runs) {
        q270::ReportOptions options = site;
        if (const auto& id = run.record.meterId) {
            auto it = entries.find(*id);
            if (it == entries.end()) it = entries.emplace(*id, meters.entriesOf(*id)).first;
            options.meter = q270::MeterInForce(id, run.record.time, it->second).entry;
        }
        std::optional<q270::ArchivedRun> asFound;
        if (run.asLeftOf) {
            auto it = found.find(*run.asLeftOf);
            if (it == found.end()) {
                std::optional<q270::ArchivedRun> fetched = archive.fetch(*run.asLeftOf);
                if (fetched) fetched = q270::WithDecisionInForce(std::move(*fetched));
                it = found.emplace(*run.asLeftOf, std::move(fetched)).first;
            }
            asFound = it->second;
        }
        verdicts.push_back(q270::VerdictOfRun(run, asFound, options));
    }
    return verdicts;
}

std::string VerdictText(const q270::RunVerdict& verdict) {
    return verdict.verdict ? q270::VerdictName(*verdict.verdict) : std::string();
}

void AddVerdict(nlohmann::ordered_json& doc, const q270::RunVerdict& verdict) {
    using json = nlohmann::ordered_json;
    doc["verdict"] = verdict.verdict ? json(q270::VerdictName(*verdict.verdict)) : json(nullptr);
    doc["statement_withheld"] =
        verdict.withheldBecause.empty() ? json(nullptr) : json(verdict.withheldBecause);
    doc["prediction_agrees"] =
        verdict.predictionAgrees ? json(*verdict.predictionAgrees) : json(nullptr);
    json statement = StatementJson(verdict.statement);
    // A withheld statement gives its figures, but no verdicts.
    if (!verdict.withheldBecause.empty()) {
        statement["verdict"] = nullptr;
        for (json& point : statement["points"]) point["verdict"] = nullptr;
    }
    doc["statement"] = statement;
}

}  // namespace zdxtool
