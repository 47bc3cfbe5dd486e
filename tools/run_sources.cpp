#include "run_sources.h"

#include "application.h"
#include "archive_settings.h"
#include "archiver.h"

namespace zdxtool {

std::optional<q270::RunRecord> LoadRun(const std::string& path) {
    try {
        return q270::ReadRunFile(path);
    } catch (const q270::RunFileError& error) {
        Complain(error.what());
        return std::nullopt;
    }
}

std::unique_ptr<q270::SqlArchive> OpenArchive() {
    q270::Archiver archiver =
        q270::Archiver::Configured(QString::fromLatin1(q270::kQ270Application));
    const q270::ArchiveReport sent = archiver.sendSpool();
    if (sent.sent > 0 || sent.waiting > 0) Complain(q270::ArchiveStatusText(sent));
    try {
        return std::make_unique<q270::SqlArchive>(
            q270::ReadArchiveSettings(QString::fromLatin1(q270::kQ270Application)));
    } catch (const std::exception& error) {
        Complain(error.what());
        return nullptr;
    }
}

}  // namespace zdxtool
