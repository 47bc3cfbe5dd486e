// evaluate: the evaluation of a run file as the window shows it, untrimmed
// and, when the file has trim choices, with them; and the run's calibration
// statement in double precision against the site's limit (or --limit/--rule).
#include <cmath>

#include "acceptance_settings.h"
#include "application.h"
#include "commands.h"
#include "evaluation_json.h"
#include "options.h"
#include "run_figures.h"
#include "run_sources.h"
#include "statement_json.h"
#include "uncertainty.h"

namespace zdxtool {

namespace {

// The site's acceptance, overridden by the command line; empty when an
// option was not understood (and why in `wrong`).
std::optional<q270::AcceptanceSettings> acceptanceOf(const Options& options, std::string& wrong) {
    q270::AcceptanceSettings settings =
        q270::ReadAcceptanceSettings(QString::fromLatin1(q270::kQ270Application));
    if (!settings.problem.empty()) Complain(settings.problem);
    if (const auto limit = options.value("--limit")) {
        char* end = nullptr;
        const double ppm = std::strtod(limit->c_str(), &end);
        if (limit->empty() || *end != '\0' || !std::isfinite(ppm) || ppm <= 0) {
            wrong = "--limit " + Quoted(*limit) + " is no positive number of ppm";
            return std::nullopt;
        }
        settings.acceptance.limitPpm = ppm;
    }
    if (const auto rule = options.value("--rule")) {
        const auto named = q270::RuleNamed(*rule);
        if (!named) {
            wrong = "--rule " + Quoted(*rule) + " is none of simple, guarded, non-binary";
            return std::nullopt;
        }
        settings.acceptance.rule = *named;
    }
    return settings;
}

}  // namespace

int CmdEvaluate(const Arguments& args) {
    const Options options(args, {}, {"--limit", "--rule"});
    if (!options.error().empty()) return UsageError("evaluate", options.error());
    if (options.positionals().size() != 1) return UsageError("evaluate", "give one run file");
    std::string wrong;
    const auto acceptance = acceptanceOf(options, wrong);
    if (!acceptance) return UsageError("evaluate", wrong);
    const std::string& path = options.positionals()[0];
    const auto record = LoadRun(path);
    if (!record) return kExitFailed;

    // As the window: the untrimmed evaluation right after the run, then the
    // trimmed one on the same readings, each with the uncertainty of its
    // 10 % points from the reading noise.
    const q270::ResultsData readings = q270::ToResultsData(*record);
    const double noise = q270::ReadingNoise(readings);
    const auto uUntrimmed = q270::LinErrUncertainty(readings, false, noise);
    q270::ResultsData data = readings;
    q270::CalcResults(data, false);
    if (!EvaluationFinite(data)) {
        Complain(path + ": steps: the readings give no finite evaluation");
        return kExitFailed;
    }
    nlohmann::ordered_json doc = RunHeader(path, *record);
    doc["reading_noise_uV"] = std::round(noise * 1e9) / 1000;
    doc["untrimmed"] = EvaluationJson(data, &uUntrimmed);
    // A file without trim choices has no trimmed evaluation to show: it would
    // only repeat the untrimmed one.
    if (q270::DecisionOf(*record)) {
        const auto uTrimmed = q270::LinErrUncertainty(readings, true, noise);
        q270::CalcResults(data, true);
        if (!EvaluationFinite(data)) {
            Complain(path + ": steps: the readings give no finite evaluation");
            return kExitFailed;
        }
        doc["trimmed"] = EvaluationJson(data, &uTrimmed);
        // What the file's trim choices promise, and whether that is more than noise.
        const q270::TrimPrediction prediction = q270::PredictTrim(readings, noise);
        doc["trimmed"]["improvement"] = {{"ErrSq", prediction.improvement},
                                         {"u", prediction.u},
                                         {"within_noise", prediction.withinNoise}};
    }
    doc["statement"] = StatementJson(q270::MakeStatement(*record, acceptance->acceptance));
    PrintJson(doc);
    return kExitDone;
}

}  // namespace zdxtool
