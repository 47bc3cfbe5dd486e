// Runs read back from the archive's rows, totally: any content of the rows
// gives a run or names the run as damaged; nothing is cast before its range
// is checked. Also the one encoding of the joined columns (see the schema).
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "archived_run.h"
#include "sql_archive.h"

namespace q270 {

// Values 1..count of an array (index 0 is not stored), each "%.17g", joined
// by ','.
template <typename T, std::size_t N>
QString JoinedColumn(const std::array<T, N>& values, int count) {
    QStringList parts;
    for (int i = 1; i <= count; ++i) parts << QString::number(values[std::size_t(i)], 'g', 17);
    return parts.join(QLatin1Char(','));
}

// The values of a joined column, each finite and within [low, high]; false
// for anything else.
template <typename T, std::size_t N>
bool SplitColumn(const QString& text, std::array<T, N>& out, int count, double low, double high) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != count) return false;
    for (int i = 1; i <= count; ++i) {
        bool ok = false;
        const double value = parts[i - 1].toDouble(&ok);
        if (!ok || !std::isfinite(value) || value < low || value > high) return false;
        out[std::size_t(i)] = static_cast<T>(value);
        if (static_cast<double>(out[std::size_t(i)]) != value) return false;
    }
    return true;
}

struct StoredRun {
    ArchivedRun run;
    std::string digest;                         // as stored; empty when none
    std::vector<std::string> amendmentDigests;  // as stored, one per amendment
};

struct StoredRuns {
    std::vector<StoredRun> runs;
    std::vector<RunProblem> damaged;
};

// The runs whose row in `runs r` meets the condition (" WHERE ..." with ?
// for the values, or empty), oldest first, in the caller's transaction.
// Throws ArchiveError naming `where` when the rows cannot be read at all.
StoredRuns ReadStoredRuns(QSqlDatabase& db, const QString& condition,
                          const std::vector<QString>& values, const std::string& where);

}  // namespace q270
