#include "store/sqlite_journal.h"

#include <sqlite3.h>

namespace pga {

std::string JournalMode(sqlite3* db, const char* mode) {
  std::string sql = "PRAGMA journal_mode";
  if (mode != nullptr) sql = sql + "=" + mode;
  sqlite3_stmt* statement = nullptr;
  std::string in_force;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(statement, 0);
    if (text != nullptr) in_force = reinterpret_cast<const char*>(text);
  }
  sqlite3_finalize(statement);
  return in_force;
}

}  // namespace pga
