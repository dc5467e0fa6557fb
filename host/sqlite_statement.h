// SqliteStatement: one prepared statement of a SqliteConnection, finalized
// by the destructor.
#ifndef PGA_HOST_SQLITE_STATEMENT_H_
#define PGA_HOST_SQLITE_STATEMENT_H_

#include <string>

#include "host/sqlite_connection.h"

struct sqlite3_stmt;

namespace pga {

class SqliteStatement {
 public:
  // Prepares `sql` on `connection`, which must outlive the statement. A
  // failure leaves ok() false and SQLite's message in connection.Message().
  SqliteStatement(const SqliteConnection& connection, const char* sql);
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;
  ~SqliteStatement();

  bool ok() const { return statement_ != nullptr; }

  // Runs the statement to its next row. True while there is a row; false
  // at the end and on failure, which failed() then tells apart.
  bool Next();
  bool failed() const { return failed_; }

  // Makes the statement ready to run again (bindings stay).
  void Reset();

  sqlite3_stmt* get() const { return statement_; }

 private:
  sqlite3_stmt* statement_ = nullptr;
  bool failed_ = false;
};

}  // namespace pga

#endif  // PGA_HOST_SQLITE_STATEMENT_H_
