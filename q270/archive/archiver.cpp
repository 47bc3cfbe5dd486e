#include "archiver.h"

namespace q270 {

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

bool Archiver::send(SqlArchive& archive, ArchiveReport& report) {
    for (const std::string& path : spool_.files()) {
        ArchivedRun run;
        try {
            run = spool_.read(path);
        } catch (const RunFileError&) {
            spool_.setAside(path);
            continue;
        }
        try {
            archive.store(run);
        } catch (const ArchiveError& error) {
            report.problem = error.what();
            return false;
        }
        spool_.remove(path);
        ++report.sent;
    }
    return true;
}

ArchiveReport Archiver::sendSpool() {
    ArchiveReport report;
    try {
        const auto archive = open_();
        send(*archive, report);
    } catch (const ArchiveError& error) {
        report.problem = error.what();
    }
    report.waiting = int(spool_.files().size());
    return report;
}

ArchiveReport Archiver::archive(const ArchivedRun& run) {
    ArchiveReport report;
    try {
        const auto archive = open_();
        if (send(*archive, report)) {
            archive->store(run);
            report.archived = true;
        }
    } catch (const ArchiveError& error) {
        report.problem = error.what();
    }
    if (!report.archived) {
        try {
            spool_.keep(run);
            report.spooled = true;
        } catch (const RunFileError& error) {
            report.problem += std::string("; ") + error.what();
        }
    }
    report.waiting = int(spool_.files().size());
    return report;
}

}  // namespace q270
