// history and export: the archived runs of a unit, or of every unit since a
// time, for a person, a spreadsheet or a script.
#include <cstdio>
#include <optional>
#include <vector>

#include "archive_json.h"
#include "commands.h"
#include "evaluation_json.h"
#include "sql_archive.h"

namespace zdxtool {

using json = nlohmann::ordered_json;

namespace {

// The runs a query of the archive gives; none, and the reason told, when the
// archive cannot be opened or read.
template <typename Query>
std::optional<std::vector<q270::ArchivedRun>> ReadRuns(Query&& query) {
    const auto archive = OpenArchive();
    if (!archive) return std::nullopt;
    try {
        return query(*archive);
    } catch (const q270::ArchiveError& error) {
        Complain(error.what());
        return std::nullopt;
    }
}

}  // namespace

int CmdHistory(const Arguments& args) {
    std::string serial;
    bool asJson = false, wrong = false;
    for (const std::string& a : args) {
        if (a == "--json")
            asJson = true;
        else if (serial.empty() && !a.empty() && a[0] != '-')
            serial = a;
        else
            wrong = true;
    }
    if (wrong || serial.empty()) {
        Complain("usage: history SERIAL [--json]");
        return kExitUsage;
    }
    const auto found = ReadRuns([&](q270::SqlArchive& archive) { return archive.history(serial); });
    if (!found) return kExitFailed;
    const std::vector<q270::ArchivedRun>& runs = *found;
    if (asJson) {
        json list = json::array();
        for (const auto& run : runs) list.push_back(ArchivedRunJson(run, false));
        PrintJson({{"serial", serial}, {"runs", list}});
        return kExitDone;
    }
    if (runs.empty()) {
        std::printf("no archived run of %s\n", serial.c_str());
        return kExitDone;
    }
    std::printf("%-36s  %-20s  %-16s  %-16s  %10s  %11s  %6s  %s\n", "run ID", "time (UTC)",
                "bench", "meter", "ErrSq", "max|LinErr|", "u", "trims");
    for (const auto& run : runs) {
        const auto trims = run.decision ? run.decision->ShuntSel : q270::TrimChoicesOf(run.record);
        const RunUncertainty u = UncertaintyOf(run);
        const bool noise = run.decision && u.prediction.withinNoise;
        std::printf("%-36s  %-20s  %-16s  %-16s  %10.1f  %11.1f  %6.2f  %s%s\n", run.runId.c_str(),
                    run.record.time.c_str(), run.origin.benchHost.c_str(),
                    run.record.meterId.value_or("-").c_str(), run.errSq, q270::LargestLinErr(run),
                    u.atLargest, TrimsText(trims).c_str(), noise ? " (within noise)" : "");
    }
    return kExitDone;
}

int CmdExport(const Arguments& args) {
    q270::RunQuery query;
    std::string format;
    bool wrong = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--csv" || a == "--json") {
            wrong = wrong || !format.empty();
            format = a;
        } else if ((a == "--serial" || a == "--since") && i + 1 < args.size()) {
            const std::string& value = args[++i];
            if (a == "--serial") query.serial = value;
            if (a == "--since") {
                query.since = q270::UtcTime(value.size() == 10 ? value + "T00:00:00Z" : value);
                if (query.since->empty()) {
                    Complain("export: --since " + Quoted(value) + " is no ISO 8601 time");
                    return kExitUsage;
                }
            }
        } else {
            wrong = true;
        }
    }
    if (wrong || format.empty()) {
        Complain("usage: export [--serial SERIAL] [--since TIME] --csv|--json");
        return kExitUsage;
    }
    const auto found = ReadRuns([&](q270::SqlArchive& archive) { return archive.runs(query); });
    if (!found) return kExitFailed;
    const std::vector<q270::ArchivedRun>& runs = *found;
    if (format == "--json") {
        json list = json::array();
        for (const auto& run : runs) list.push_back(ArchivedRunJson(run, true));
        PrintJson({{"runs", list}});
        return kExitDone;
    }
    std::fputs(ArchiveCsvHeader().c_str(), stdout);
    for (const auto& run : runs) std::fputs(ArchiveCsvLine(run).c_str(), stdout);
    return kExitDone;
}

}  // namespace zdxtool
