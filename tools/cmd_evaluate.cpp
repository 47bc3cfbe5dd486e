// evaluate: the evaluation of a run file, untrimmed and with its trim choices.
#include "commands.h"
#include "evaluation_json.h"

namespace zdxtool {

int CmdEvaluate(const Arguments& args) {
    if (args.size() != 1) {
        Complain("usage: evaluate RUNFILE");
        return kExitUsage;
    }
    const auto record = LoadRun(args[0]);
    if (!record) return kExitFailed;

    // As the window: the untrimmed evaluation right after the run, then the
    // trimmed one on the same readings.
    q270::ResultsData data = q270::ToResultsData(*record);
    q270::CalcResults(data, false);
    const bool untrimmedFinite = EvaluationFinite(data);
    const nlohmann::ordered_json untrimmed = EvaluationJson(data);
    q270::CalcResults(data, true);
    if (!untrimmedFinite || !EvaluationFinite(data)) {
        Complain(args[0] + ": steps: the readings give no finite evaluation");
        return kExitFailed;
    }
    nlohmann::ordered_json doc = RunHeader(args[0], *record);
    doc["untrimmed"] = untrimmed;
    doc["trimmed"] = EvaluationJson(data);
    PrintJson(doc);
    return kExitDone;
}

}  // namespace zdxtool
