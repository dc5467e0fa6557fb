#include "host/sqlite_statement.h"

#include <sqlite3.h>

namespace pga {

SqliteStatement::SqliteStatement(const SqliteConnection& connection, const char* sql) {
  if (sqlite3_prepare_v2(connection.get(), sql, -1, &statement_, nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement_);
    statement_ = nullptr;
    failed_ = true;
  }
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(statement_); }

bool SqliteStatement::Next() {
  if (statement_ == nullptr) return false;
  const int rc = sqlite3_step(statement_);
  if (rc == SQLITE_ROW) return true;
  failed_ = rc != SQLITE_DONE;
  return false;
}

void SqliteStatement::Reset() {
  sqlite3_reset(statement_);
  failed_ = statement_ == nullptr;
}

}  // namespace pga
