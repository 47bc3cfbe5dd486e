#include "run_sources.h"

#include "application.h"
#include "archive_deadline.h"
#include "archive_settings.h"
#include "commands.h"

namespace zdxtool {

std::optional<q270::RunRecord> LoadRun(const std::string& path) {
    try {
        return q270::ReadRunFile(path);
    } catch (const q270::RunFileError& error) {
        Complain(error.what());
        return std::nullopt;
    }
}

void TellArchiveReport(const q270::ArchiveReport& report) {
    for (const std::string& note : report.notes) Complain(TerminalText(note));
    if (report.sent > 0 || report.waiting > 0 || !report.setAside.empty() ||
        (!report.problem.empty() && !report.archived && !report.spooled))
        Complain(TerminalText(q270::ArchiveStatusText(report)));
}

std::unique_ptr<q270::SqlArchive> OpenArchive() {
    const ArchiveDeadline deadline(kExitFailed, "given up");
    q270::Archiver archiver =
        q270::Archiver::Configured(QString::fromLatin1(q270::kQ270Application));
    const q270::ArchiveReport sent = archiver.sendSpool();
    q270::ArchiveReport told = sent;
    told.problem.clear();  // said below, if the archive cannot be opened
    TellArchiveReport(told);
    try {
        return std::make_unique<q270::SqlArchive>(
            q270::ReadArchiveSettings(QString::fromLatin1(q270::kQ270Application)));
    } catch (const std::exception& error) {
        Complain(TerminalText(error.what()));
        return nullptr;
    }
}

}  // namespace zdxtool
