// A transaction that rolls back unless it was committed, like a lock guard:
// every way out of a block (a throw, an early return) ends it.
#pragma once

#include <QSqlDatabase>
#include <string>

#include "sql_dialect.h"

namespace q270 {

class SqlTransaction {
  public:
    // Begins the transaction (IMMEDIATE for a write on SQLite, see
    // BeginStatement); throws ArchiveError naming `where`.
    SqlTransaction(QSqlDatabase& db, TransactionKind kind, const std::string& where);
    ~SqlTransaction();
    SqlTransaction(const SqlTransaction&) = delete;
    SqlTransaction& operator=(const SqlTransaction&) = delete;

    // Throws ArchiveError when the database does not commit; the transaction
    // is then rolled back.
    void commit();

  private:
    QSqlDatabase& db_;
    std::string where_;
    bool open_ = false;
};

}  // namespace q270
