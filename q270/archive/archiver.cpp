#include "archiver.h"

#include <algorithm>
#include <csignal>
#include <filesystem>

namespace q270 {

namespace {

// Test builds only: ZDX_TEST_KILL_AT=<point> kills the program at that point
// of archiving ("spooled", "opened", "stored"), so that a test can show that
// no point loses a run.
void killPoint([[maybe_unused]] const char* point) {
#ifdef ZDX_TEST_KILL_POINTS
    if (qgetenv("ZDX_TEST_KILL_AT") == point) std::raise(SIGKILL);
#endif
}

}  // namespace

std::string ArchiveStatusText(const ArchiveReport& report) {
    std::string text;
    if (report.archived) text = "Run archived";
    if (report.spooled)
        text = "Archive not reached (" + report.problem + "): run kept in the spool";
    if (!report.archived && !report.spooled && !report.problem.empty())
        text = "Archive not reached (" + report.problem + ")";
    auto add = [&](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
    if (report.sent > 0) add(std::to_string(report.sent) + " spooled run(s) sent");
    if (report.waiting > 0) add(std::to_string(report.waiting) + " run(s) wait in the spool");
    if (!report.setAside.empty()) {
        std::string names;
        for (const std::string& name : report.setAside) names += (names.empty() ? "" : ", ") + name;
        add(std::to_string(report.setAside.size()) + " spool file(s) set aside: " + names);
    }
    return text;
}

Archiver Archiver::Configured(const QString& application) {
    try {
        return At(ReadArchiveSettings(application), DefaultSpoolFolder().toStdString());
    } catch (const std::invalid_argument& error) {
        // A setting that names no archive: every run waits in the spool.
        const std::string problem = error.what();
        return Archiver([problem]() -> std::unique_ptr<SqlArchive> { throw ArchiveError(problem); },
                        Spool(DefaultSpoolFolder().toStdString()));
    }
}

Archiver Archiver::At(const ArchiveSettings& settings, const std::string& spoolFolder) {
    return Archiver([settings] { return std::make_unique<SqlArchive>(settings); },
                    Spool(spoolFolder));
}

bool Archiver::send(SqlArchive& archive, ArchiveReport& report,
                    std::vector<std::string>& confirmed) {
    auto setAside = [&](const std::string& path, const char* suffix, const std::string& why) {
        if (spool_.setAside(path, suffix))
            report.notes.push_back(why + ": set aside as " + path + suffix);
        else
            report.notes.push_back(why + "; it cannot be set aside either");
    };
    for (const std::string& path : spool_.files()) {
        ArchivedRun run;
        try {
            run = spool_.read(path);
        } catch (const SpoolFileError& error) {
            if (error.kind() == SpoolFileError::Kind::Refused)
                setAside(path, ".refused", error.what());
            else
                report.notes.push_back(error.what());
            continue;
        }
        StoreOutcome outcome;
        try {
            outcome = archive.store(run);
        } catch (const ContentRefused& error) {
            // This run can never be stored as it is; the ones after it can.
            setAside(path, ".refused", error.what());
            continue;
        } catch (const ArchiveError& error) {
            report.problem = error.what();
            return false;
        }
        if (outcome == StoreOutcome::Conflict) {
            setAside(path, ".conflict",
                     path + ": run " + run.runId + " is archived already with other content");
            continue;
        }
        killPoint("stored");
        confirmed.push_back(run.runId);
        if (!spool_.remove(path)) {
            report.notes.push_back(path + ": run " + run.runId +
                                   " is archived, but its spool file cannot be removed");
            continue;
        }
        ++report.sent;
    }
    return true;
}

void Archiver::finish(ArchiveReport& report) const {
    report.waiting = int(spool_.files().size());
    report.setAside = spool_.setAsideFiles();
}

ArchiveReport Archiver::sendSpool() {
    ArchiveReport report;
    std::vector<std::string> confirmed;
    try {
        const auto archive = open_();
        send(*archive, report, confirmed);
    } catch (const ArchiveError& error) {
        report.problem = error.what();
    }
    finish(report);
    return report;
}

ArchiveReport Archiver::archive(const ArchivedRun& run) {
    ArchiveReport report;
    std::string kept;
    try {
        kept = spool_.keep(run);
        killPoint("spooled");
    } catch (const RunFileError& error) {
        // No spool: the archive is the only place left to try.
        report.notes.push_back(error.what());
    }
    std::vector<std::string> confirmed;
    try {
        const auto archive = open_();
        killPoint("opened");
        if (send(*archive, report, confirmed) && kept.empty()) {
            if (const auto outcome = archive->store(run); outcome != StoreOutcome::Conflict)
                confirmed.push_back(run.runId);
        }
    } catch (const ArchiveError& error) {
        report.problem = error.what();
    }
    report.archived = std::find(confirmed.begin(), confirmed.end(), run.runId) != confirmed.end();
    const bool stillKept = !kept.empty() && std::filesystem::exists(kept);
    // The run itself is no run that waited before.
    if (report.archived && !kept.empty() && !stillKept) --report.sent;
    report.spooled = !report.archived && stillKept;
    if (!report.archived && !stillKept && !kept.empty() && report.problem.empty())
        report.problem = "the archive refused the run; it is set aside in the spool folder";
    finish(report);
    return report;
}

}  // namespace q270
