#include "tools/sqlite_connection.h"

#include <sqlite3.h>

#include <sstream>

namespace pga {

namespace {

// A writer in the default journal mode holds its lock only while it
// commits; readers wait that long rather than fail.
constexpr int kDefaultBusyTimeoutMs = 5000;
// Steps of SQLite's program between two calls of an integrity check's tick.
constexpr int kTickSteps = 100000;

}  // namespace

SqliteConnection::~SqliteConnection() { sqlite3_close(db_); }

bool SqliteConnection::Open(const std::string& path, Mode mode, std::string& error) {
  // A connection is used by one thread at a time (a check reads its rows
  // on a connection of their own): SQLite need not lock it for every call,
  // which costs a lock for every column of a million rows.
  const int flags = (mode == Mode::kReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
                    SQLITE_OPEN_NOMUTEX;
  const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kDefaultBusyTimeoutMs);
    return true;
  }
  error = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
  sqlite3_close(db_);
  db_ = nullptr;
  return false;
}

bool SqliteConnection::Exec(const char* sql, std::string& error) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  error = message != nullptr ? message : sqlite3_errmsg(db_);
  sqlite3_free(message);
  return false;
}

bool SqliteConnection::IntegrityCheck(std::vector<std::string>& problems, std::string& error,
                                      bool quick, const std::function<void()>& tick) const {
  problems.clear();
  // SQLite calls the handler every so many steps of its program; a check
  // of a large file takes hundreds of millions.
  if (tick) {
    sqlite3_progress_handler(
        db_, kTickSteps,
        [](void* tick) {
          (*static_cast<const std::function<void()>*>(tick))();
          return 0;
        },
        const_cast<std::function<void()>*>(&tick));
  }
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db_, quick ? "PRAGMA quick_check" : "PRAGMA integrity_check", -1,
                              &statement, nullptr);
  while (rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
    const auto* row = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    // A row can hold several lines, the first naming the schema.
    std::istringstream lines(row != nullptr ? row : "");
    for (std::string line; std::getline(lines, line);) {
      if (line != "ok" && line.rfind("*** in database ", 0) != 0) problems.push_back(line);
    }
    rc = SQLITE_OK;
  }
  sqlite3_finalize(statement);
  if (tick) sqlite3_progress_handler(db_, 0, nullptr, nullptr);
  if (rc == SQLITE_DONE) return true;
  error = std::string(quick ? "quick_check" : "integrity_check") + " failed: " + Message();
  return false;
}

bool SqliteConnection::WasBusy() const {
  const int rc = sqlite3_errcode(db_) & 0xFF;
  return rc == SQLITE_BUSY || rc == SQLITE_LOCKED;
}

void SqliteConnection::SetBusyTimeout(int milliseconds) { sqlite3_busy_timeout(db_, milliseconds); }

std::string SqliteConnection::Message() const {
  return db_ != nullptr ? sqlite3_errmsg(db_) : "no connection";
}

}  // namespace pga
