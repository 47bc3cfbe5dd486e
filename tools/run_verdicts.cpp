#include "run_verdicts.h"

#include <map>

#include "meter_register.h"

namespace zdxtool {

std::vector<q270::RunVerdict> VerdictsOf(q270::SqlArchive& archive,
                                         const std::vector<q270::ArchivedRun>& runs,
                                         const q270::ReportOptions& site) {
    q270::MeterRegister meters(archive);
    std::map<std::string, std::vector<q270::ReferenceMeter>> entries;  // by meter ID
    std::map<std::string, std::optional<q270::ArchivedRun>> found;     // by run ID
    for (const q270::ArchivedRun& run : runs) found.emplace(run.runId, run);

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
            if (it == found.end())
                it = found.emplace(*run.asLeftOf, archive.fetch(*run.asLeftOf)).first;
            asFound = it->second;
        }
        verdicts.push_back(q270::VerdictOfRun(run, asFound, options));
    }
    return verdicts;
}

std::string VerdictText(const q270::RunVerdict& verdict) {
    return verdict.verdict ? q270::VerdictName(*verdict.verdict) : std::string();
}

}  // namespace zdxtool
