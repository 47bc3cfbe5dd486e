// history and export: the archived runs of a unit, or of every unit since a
// time, for a person, a spreadsheet or a script.
#include <cstdio>
#include <optional>
#include <vector>

#include "commands.h"
#include "options.h"
#include "run_csv.h"
#include "run_figures.h"
#include "run_json.h"
#include "run_sources.h"
#include "terminal_text.h"

namespace zdxtool {

using json = nlohmann::ordered_json;

namespace {

// A date is its midnight; a time without a zone is UTC, whatever the local zone.
std::string SinceTime(std::string text) {
    if (text.size() == 10) text += "T00:00:00";
    const std::size_t t = text.find('T');
    if (t != std::string::npos && text.find_first_of("Z+-", t) == std::string::npos) text += 'Z';
    return q270::UtcTime(text);
}

}  // namespace

int CmdHistory(const Arguments& args) {
    const Options options(args, {"--json"}, {});
    if (!options.error().empty()) return UsageError("history", options.error());
    if (options.positionals().size() != 1 || options.positionals()[0].empty())
        return UsageError("history", "give one serial number");
    const std::string& serial = options.positionals()[0];
    const bool asJson = options.flag("--json");
    const auto found = ReadRuns(
        [&](q270::SqlArchive& archive, auto& damaged) { return archive.history(serial, damaged); });
    if (!found) return kExitFailed;
    const std::vector<q270::ArchivedRun>& runs = found->runs;
    const int status = found->damaged > 0 ? kExitFailed : kExitDone;
    if (asJson) {
        json list = json::array();
        for (const auto& run : runs) list.push_back(ArchivedRunJson(run, false));
        PrintJson({{"serial", serial}, {"runs", list}});
        return status;
    }
    if (runs.empty()) {
        std::printf("no archived run of %s\n", TerminalText(serial).c_str());
        return status;
    }
    std::printf("%-36s  %-20s  %-16s  %-16s  %10s  %11s  %6s  %s\n", "run ID", "time (UTC)",
                "bench", "meter", "ErrSq", "max|LinErr|", "u", "trims");
    for (const auto& run : runs) {
        const q270::RunUncertainty u = q270::UncertaintyOf(run);
        const q270::DecisionInForce decision = q270::CurrentDecision(run);
        const bool noise = decision.decision && u.prediction.withinNoise;
        std::string trims = q270::TrimsText(q270::TrimsOf(run));
        if (noise) trims += " (within noise)";
        if (decision.amended)
            trims += " (amended " + decision.amendedAt + " by " + decision.amendedBy + ")";
        std::printf("%-36s  %-20s  %-16s  %-16s  %10.1f  %11.1f  %6.2f  %s\n",
                    TerminalText(run.runId).c_str(), TerminalText(run.record.time).c_str(),
                    TerminalText(run.origin.benchHost).c_str(),
                    TerminalText(run.record.meterId.value_or("-")).c_str(), run.errSq,
                    q270::LargestLinErr(run), u.atLargest, TerminalText(trims).c_str());
    }
    return status;
}

int CmdExport(const Arguments& args) {
    const Options options(args, {"--csv", "--json"}, {"--serial", "--since"});
    if (!options.error().empty()) return UsageError("export", options.error());
    if (!options.positionals().empty())
        return UsageError("export", "unexpected argument " + Quoted(options.positionals()[0]));
    if (options.flag("--csv") == options.flag("--json"))
        return UsageError("export", "give one of --csv and --json");
    const std::string format = options.flag("--csv") ? "--csv" : "--json";
    q270::RunQuery query;
    query.serial = options.value("--serial");
    if (const auto since = options.value("--since")) {
        query.since = SinceTime(*since);
        if (query.since->empty())
            return UsageError("export", "--since " + Quoted(*since) + " is no ISO 8601 time");
    }
    const auto found = ReadRuns(
        [&](q270::SqlArchive& archive, auto& damaged) { return archive.runs(query, damaged); });
    if (!found) return kExitFailed;
    const int status = found->damaged > 0 ? kExitFailed : kExitDone;
    if (format == "--json") {
        json list = json::array();
        for (const auto& run : found->runs) list.push_back(ArchivedRunJson(run, true));
        PrintJson({{"runs", list}});
        return status;
    }
    std::fputs(ArchiveCsvHeader().c_str(), stdout);
    for (const auto& run : found->runs) std::fputs(ArchiveCsvLine(run).c_str(), stdout);
    return status;
}

}  // namespace zdxtool
