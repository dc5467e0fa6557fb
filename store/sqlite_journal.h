// The journal mode of an SQLite connection, read or switched.
#ifndef PGA_STORE_SQLITE_JOURNAL_H_
#define PGA_STORE_SQLITE_JOURNAL_H_

#include <string>

struct sqlite3;

namespace pga {

// Runs "PRAGMA journal_mode" on `db`, with "=<mode>" when `mode` is not
// null, and gives the mode in force afterwards as SQLite names it ("delete",
// "wal", ...), or the empty text when the statement failed (sqlite3_errmsg
// then says why). SQLite answers with the old mode when the file cannot take
// the new one, an in-memory database for one.
std::string JournalMode(sqlite3* db, const char* mode = nullptr);

}  // namespace pga

#endif  // PGA_STORE_SQLITE_JOURNAL_H_
