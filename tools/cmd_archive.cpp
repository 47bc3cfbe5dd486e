// history and export: the archived runs of a unit, of a reference meter, or of
// every unit since a time, for a person, a spreadsheet or a script; each with
// its calibration statement in short.
#include <cstdio>
#include <optional>
#include <vector>

#include "application.h"
#include "commands.h"
#include "options.h"
#include "report_options.h"
#include "run_csv.h"
#include "run_figures.h"
#include "run_json.h"
#include "run_sources.h"
#include "run_verdicts.h"
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

// A date is its last second.
std::string UntilTime(std::string text) {
    if (text.size() == 10) text += "T23:59:59";
    return SinceTime(text);
}

// The option's time into `into`; what was wrong, or empty.
std::string TimeOption(const Options& options, const char* name, std::string (*read)(std::string),
                       std::optional<std::string>& into) {
    const auto given = options.value(name);
    if (!given) return {};
    into = read(*given);
    if (into->empty()) return std::string(name) + " " + Quoted(*given) + " is no ISO 8601 time";
    return {};
}

struct ListedRuns {
    std::vector<q270::ArchivedRun> runs;
    std::vector<q270::RunVerdict> verdicts;  // one per run
    int damaged = 0;
};

// The query's runs, each with its statement in short, read in one session.
std::optional<ListedRuns> ListRuns(const q270::RunQuery& query) {
    std::string problem;
    const q270::ReportOptions site =
        q270::SiteReportOptions(QString::fromLatin1(q270::kQ270Application), &problem);
    if (!problem.empty()) Complain(problem);
    std::vector<q270::RunVerdict> verdicts;
    const auto found = ReadRuns([&](q270::SqlArchive& archive, auto& damaged) {
        std::vector<q270::ArchivedRun> runs = archive.runs(query, damaged);
        verdicts = q270::VerdictsOf(archive, runs, site);
        return runs;
    });
    if (!found) return std::nullopt;
    return ListedRuns{found->runs, std::move(verdicts), found->damaged};
}

}  // namespace

int CmdHistory(const Arguments& args) {
    const Options options(args, {"--json"}, {"--meter", "--since", "--until"});
    if (!options.error().empty()) return UsageError("history", options.error());
    q270::RunQuery query;
    query.meterId = options.value("--meter");
    if (query.meterId) {
        if (!options.positionals().empty())
            return UsageError("history", "give a serial number or --meter ID, not both");
    } else if (options.positionals().size() != 1 || options.positionals()[0].empty()) {
        return UsageError("history", "give one serial number, or --meter ID");
    } else {
        query.serial = options.positionals()[0];
    }
    for (const std::string& wrong : {TimeOption(options, "--since", SinceTime, query.since),
                                     TimeOption(options, "--until", UntilTime, query.until)})
        if (!wrong.empty()) return UsageError("history", wrong);
    const std::string subject = query.serial ? *query.serial : "meter " + *query.meterId;

    const auto found = ListRuns(query);
    if (!found) return kExitFailed;
    const std::vector<q270::ArchivedRun>& runs = found->runs;
    const int status = found->damaged > 0 ? kExitFailed : kExitDone;
    if (options.flag("--json")) {
        json list = json::array();
        for (std::size_t i = 0; i < runs.size(); ++i) {
            json doc = ArchivedRunJson(runs[i], false);
            AddVerdict(doc, found->verdicts[i]);
            list.push_back(std::move(doc));
        }
        json doc;
        if (query.serial) doc["serial"] = *query.serial;
        if (query.meterId) doc["meter"] = *query.meterId;
        doc["runs"] = list;
        PrintJson(doc);
        return status;
    }
    if (runs.empty()) {
        std::printf("no archived run of %s\n", TerminalText(subject).c_str());
        return status;
    }
    std::printf("%-36s  %-20s  %-14s  %-16s  %-16s  %10s  %11s  %6s  %-16s  %s\n", "run ID",
                "time (UTC)", "unit", "bench", "meter", "ErrSq", "max|LinErr|", "u", "verdict",
                "trims");
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const q270::ArchivedRun& run = runs[i];
        const q270::RunVerdict& verdict = found->verdicts[i];
        const q270::RunUncertainty u = q270::UncertaintyOf(run);
        const q270::DecisionInForce decision = q270::CurrentDecision(run);
        const bool noise = decision.decision && u.prediction.withinNoise;
        std::string trims = q270::TrimsText(q270::TrimsOf(run));
        if (noise) trims += " (within noise)";
        if (decision.amended)
            trims += " (amended " + decision.amendedAt + " by " + decision.amendedBy + ")";
        if (run.asLeftOf) {
            trims += "; as left of " + *run.asLeftOf;
            if (verdict.predictionAgrees)
                trims += *verdict.predictionAgrees ? ", agrees with its prediction"
                                                   : ", does NOT agree with its prediction";
        }
        const std::string said = verdict.verdict ? VerdictText(verdict) : "-";
        std::printf("%-36s  %-20s  %-14s  %-16s  %-16s  %10.1f  %11.1f  %6.2f  %-16s  %s\n",
                    TerminalText(run.runId).c_str(), TerminalText(run.record.time).c_str(),
                    TerminalText(run.record.calibratorSerial).c_str(),
                    TerminalText(run.origin.benchHost).c_str(),
                    TerminalText(run.record.meterId.value_or("-")).c_str(), run.errSq,
                    q270::LargestLinErr(run), u.atLargest, said.c_str(),
                    TerminalText(trims).c_str());
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
    if (const std::string wrong = TimeOption(options, "--since", SinceTime, query.since);
        !wrong.empty())
        return UsageError("export", wrong);
    const auto found = ListRuns(query);
    if (!found) return kExitFailed;
    const int status = found->damaged > 0 ? kExitFailed : kExitDone;
    if (format == "--json") {
        json list = json::array();
        for (std::size_t i = 0; i < found->runs.size(); ++i) {
            json doc = ArchivedRunJson(found->runs[i], true);
            AddVerdict(doc, found->verdicts[i]);
            list.push_back(std::move(doc));
        }
        PrintJson({{"runs", list}});
        return status;
    }
    std::fputs(ArchiveCsvHeader().c_str(), stdout);
    for (std::size_t i = 0; i < found->runs.size(); ++i)
        std::fputs(ArchiveCsvLine(found->runs[i], found->verdicts[i]).c_str(), stdout);
    return status;
}

}  // namespace zdxtool
