#include "run_verdicts.h"

#include "statement_json.h"

namespace zdxtool {

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
