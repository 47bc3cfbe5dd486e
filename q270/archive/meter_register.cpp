#include "meter_register.h"

#include <QDate>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "sql_dialect.h"

namespace q270 {

namespace {

// The register's table beside the runs (the runs do not refer to it: a run
// names its meter by ID, and the entry in force is found by date).
const QString kCreate = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS meters ("
    " meter_id TEXT NOT NULL,"
    " model TEXT NOT NULL,"
    " serial TEXT NOT NULL,"
    " certificate TEXT NOT NULL,"
    " calibrated TEXT NOT NULL,"  // YYYY-MM-DD
    " due TEXT NOT NULL,"         // YYYY-MM-DD
    " PRIMARY KEY (meter_id, certificate))");

bool plainText(const std::string& text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return true;
}

bool isDate(const std::string& text) {
    return text.size() == 10 &&
           QDate::fromString(QString::fromStdString(text), Qt::ISODate).isValid();
}

QSqlDatabase connectionOf(SqlArchive& archive) {
    return QSqlDatabase::database(archive.connectionName(), false);
}

}  // namespace

std::string MeterEntryProblem(const ReferenceMeter& m) {
    for (const auto& [name, text] :
         {std::pair{"ID", &m.id}, std::pair{"model", &m.model},
          std::pair{"serial number", &m.serial}, std::pair{"certificate", &m.certificate}})
        if (!plainText(*text) || text->size() > 200)
            return std::string("the meter's ") + name + " has control characters or is too long";
    if (m.id.empty()) return "the meter has no ID";
    if (m.certificate.empty()) return "the meter's certificate is not named";
    if (!isDate(m.calibrated)) return "calibrated \"" + m.calibrated + "\" is no date YYYY-MM-DD";
    if (!isDate(m.due)) return "due \"" + m.due + "\" is no date YYYY-MM-DD";
    if (m.due <= m.calibrated) return "the due date is not after the calibration date";
    return {};
}

MeterOfRun MeterInForce(const std::optional<std::string>& meterId, const std::string& runTime,
                        const std::vector<ReferenceMeter>& entries) {
    MeterOfRun found;
    if (!meterId) return found;
    found.standing = MeterStanding::Unknown;
    const std::string day = runTime.substr(0, 10);
    for (const ReferenceMeter& e : entries)
        if (e.id == *meterId && e.calibrated <= day &&
            (!found.entry || e.calibrated > found.entry->calibrated))
            found.entry = e;
    if (found.entry)
        found.standing = day > found.entry->due ? MeterStanding::PastDue : MeterStanding::InDate;
    return found;
}

MeterRegister::MeterRegister(SqlArchive& archive) : archive_(archive) {
    QSqlDatabase db = connectionOf(archive_);
    ExecSql(db, kCreate, archive_.where());
}

void MeterRegister::add(const ReferenceMeter& m) {
    if (const std::string problem = MeterEntryProblem(m); !problem.empty())
        throw ArchiveError(problem);
    for (const ReferenceMeter& e : entriesOf(m.id))
        if (e.certificate == m.certificate)
            throw ArchiveError("certificate " + m.certificate + " of meter " + m.id +
                               " is registered already");
    QSqlDatabase db = connectionOf(archive_);
    QSqlQuery insert(db);
    insert.prepare(
        QStringLiteral("INSERT INTO meters (meter_id, model, serial, certificate, "
                       "calibrated, due) VALUES (?, ?, ?, ?, ?, ?)"));
    for (const std::string* text :
         {&m.id, &m.model, &m.serial, &m.certificate, &m.calibrated, &m.due})
        insert.addBindValue(QString::fromStdString(*text));
    if (!insert.exec())
        throw ArchiveError(archive_.where() + ": the meter cannot be registered (" +
                           ErrorText(insert.lastError()) + ")");
}

std::vector<ReferenceMeter> MeterRegister::all() {
    return select({}, {});
}

std::vector<ReferenceMeter> MeterRegister::entriesOf(const std::string& id) {
    return select(QStringLiteral(" WHERE meter_id = ?"), QString::fromStdString(id));
}

std::vector<ReferenceMeter> MeterRegister::select(const QString& condition, const QString& value) {
    QSqlDatabase db = connectionOf(archive_);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT meter_id, model, serial, certificate, calibrated, due "
                             "FROM meters") +
              condition + QStringLiteral(" ORDER BY meter_id, calibrated"));
    if (!condition.isEmpty()) q.addBindValue(value);
    if (!q.exec())
        throw ArchiveError(archive_.where() + ": the meter register cannot be read (" +
                           ErrorText(q.lastError()) + ")");
    std::vector<ReferenceMeter> entries;
    while (q.next()) {
        const auto text = [&q](const char* column) {
            return q.value(QString::fromLatin1(column)).toString().toStdString();
        };
        entries.push_back({text("meter_id"), text("model"), text("serial"), text("certificate"),
                           text("calibrated"), text("due")});
    }
    return entries;
}

}  // namespace q270
