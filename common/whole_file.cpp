#include "whole_file.h"

#include <QFile>
#include <QSaveFile>
#include <stdexcept>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

namespace zdx {

void WriteWholeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error(path.toStdString() + ": cannot be written (" +
                                 file.errorString().toStdString() + ")");
}

bool SyncFolder([[maybe_unused]] const QString& folder) {
#ifdef Q_OS_WIN
    return true;
#else
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
#endif
}

}  // namespace zdx
