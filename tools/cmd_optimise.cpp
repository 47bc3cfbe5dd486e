// optimise: the trim search of a run file for 0..4 trim resistors, each
// solution with its result line and the placement that applying it gives.
#include <QLocale>

#include "commands.h"
#include "evaluation_json.h"
#include "options.h"
#include "run_sources.h"
#include "trim_search.h"

namespace zdxtool {

namespace {

char decimalSeparator() {
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? '.' : point.at(0).toLatin1();
}

}  // namespace

int CmdOptimise(const Arguments& args) {
    const Options options(args, {}, {});
    if (!options.error().empty()) return UsageError("optimise", options.error());
    if (options.positionals().size() != 1) return UsageError("optimise", "give one run file");
    const std::string& path = options.positionals()[0];
    const auto record = LoadRun(path);
    if (!record) return kExitFailed;

    q270::ResultsData data = q270::ToResultsData(*record);
    q270::CalcResults(data, false);
    if (!EvaluationFinite(data)) {
        Complain(path + ": steps: the readings give no finite evaluation");
        return kExitFailed;
    }
    // As the window's optimisation: every step starts without a trim resistor,
    // whatever the run file chose.
    data.ShuntSel.fill(0);

    const char separator = decimalSeparator();
    nlohmann::ordered_json solutions = nlohmann::ordered_json::array();
    for (int k = 0; k <= q270::kMaxTrimCount; ++k) {
        q270::TrimSearch search(data, k);
        search.run();
        nlohmann::ordered_json solution = {{"K", k},
                                           {"evaluations", search.evaluated()},
                                           {"line", q270::TrimResultLine(search, separator)}};
        if (!search.found()) {
            solutions.push_back(solution);
            continue;
        }
        nlohmann::ordered_json vector = nlohmann::ordered_json::array();
        for (int i = 1; i <= q270::kTrialSteps; ++i)
            vector.push_back(search.bestSel()[std::size_t(i)]);
        solution["BestSel"] = vector;
        solution["ErrSq"] = search.best();
        solution["TrimMin"] = search.trimMin();
        solution["TrimMax"] = search.trimMax();

        // Applying the solution, as a click on its line does.
        q270::ResultsData applied = data;
        const int mask = q270::PlaceBest(applied, search.bestSel(), k);
        q270::CalcResults(applied, true);
        nlohmann::ordered_json placement = nlohmann::ordered_json::array();
        for (int i = 1; i <= q270::kStepCount; ++i)
            placement.push_back(applied.ShuntSel[std::size_t(i)]);
        solution["mask"] = mask;
        solution["ShuntSel"] = placement;
        solution["applied"] = EvaluationJson(applied);
        solutions.push_back(solution);
    }
    nlohmann::ordered_json doc = RunHeader(path, *record);
    doc["untrimmed"] = EvaluationJson(data);
    doc["solutions"] = solutions;
    PrintJson(doc);
    return kExitDone;
}

}  // namespace zdxtool
