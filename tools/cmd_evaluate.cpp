// evaluate: the evaluation of a run file, untrimmed and with its trim choices.
#include <cmath>

#include "commands.h"
#include "evaluation_json.h"
#include "options.h"
#include "run_sources.h"
#include "uncertainty.h"

namespace zdxtool {

int CmdEvaluate(const Arguments& args) {
    const Options options(args, {}, {});
    if (!options.error().empty()) return UsageError("evaluate", options.error());
    if (options.positionals().size() != 1) return UsageError("evaluate", "give one run file");
    const std::string& path = options.positionals()[0];
    const auto record = LoadRun(path);
    if (!record) return kExitFailed;

    // As the window: the untrimmed evaluation right after the run, then the
    // trimmed one on the same readings.
    // Each with the uncertainty of its 10 % points from the reading noise.
    const q270::ResultsData readings = q270::ToResultsData(*record);
    const double noise = q270::ReadingNoise(readings);
    const auto uUntrimmed = q270::LinErrUncertainty(readings, false, noise);
    const auto uTrimmed = q270::LinErrUncertainty(readings, true, noise);
    q270::ResultsData data = readings;
    q270::CalcResults(data, false);
    const bool untrimmedFinite = EvaluationFinite(data);
    const nlohmann::ordered_json untrimmed = EvaluationJson(data, &uUntrimmed);
    q270::CalcResults(data, true);
    if (!untrimmedFinite || !EvaluationFinite(data)) {
        Complain(path + ": steps: the readings give no finite evaluation");
        return kExitFailed;
    }
    nlohmann::ordered_json doc = RunHeader(path, *record);
    doc["reading_noise_uV"] = std::round(noise * 1e9) / 1000;
    doc["untrimmed"] = untrimmed;
    doc["trimmed"] = EvaluationJson(data, &uTrimmed);
    // What the file's trim choices promise, and whether that is more than noise.
    const q270::TrimPrediction prediction = q270::PredictTrim(readings, noise);
    doc["trimmed"]["improvement"] = {{"ErrSq", prediction.improvement},
                                     {"u", prediction.u},
                                     {"within_noise", prediction.withinNoise}};
    PrintJson(doc);
    return kExitDone;
}

}  // namespace zdxtool
