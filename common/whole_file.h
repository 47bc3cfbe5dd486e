// Files written whole or not at all: a reader finds the old content or the
// new, never a part, also after a crash or a power cut.
#pragma once

#include <QByteArray>
#include <QString>

namespace zdx {

// Writes the bytes to a temporary file beside `path`, syncs it to disk and
// renames it over `path` (QSaveFile). Throws std::runtime_error naming the
// path when any of it fails; `path` is then unchanged.
void WriteWholeFile(const QString& path, const QByteArray& bytes);

// Syncs a folder's entries to disk, so that a file renamed into it survives a
// power cut. Does nothing where the system keeps no such entries apart
// (Windows); false when the folder cannot be synced.
bool SyncFolder(const QString& folder);

}  // namespace zdx
