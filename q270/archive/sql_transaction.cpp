#include "sql_transaction.h"

#include <QSqlQuery>

#include "archive_schema.h"

namespace q270 {

SqlTransaction::SqlTransaction(QSqlDatabase& db, TransactionKind kind, const std::string& where)
    : db_(db), where_(where) {
    ExecSql(db_, BeginStatement(DialectOf(db_), kind), where_);
    open_ = true;
}

SqlTransaction::~SqlTransaction() {
    if (open_) QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
}

void SqlTransaction::commit() {
    ExecSql(db_, QStringLiteral("COMMIT"), where_);
    open_ = false;
}

}  // namespace q270
