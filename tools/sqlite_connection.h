// SqliteConnection: one connection to an SQLite database file through
// SQLite's C API. The store tools use it instead of the component's storage
// layer because they need what that layer does not offer: opening read-only,
// never creating a file, and choosing their own locks and timeouts.
#ifndef PGA_TOOLS_SQLITE_CONNECTION_H_
#define PGA_TOOLS_SQLITE_CONNECTION_H_

#include <functional>
#include <string>
#include <vector>

struct sqlite3;

namespace pga {

// A connection, and its statements, are used by one thread at a time.
class SqliteConnection {
 public:
  // Neither mode creates the file: opening a missing file fails.
  enum class Mode { kReadOnly, kReadWrite };

  SqliteConnection() = default;
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;
  // Closes the connection; its statements must be finalized first.
  ~SqliteConnection();

  // Opens `path` (a plain file name, not a URI). SQLite reads nothing yet,
  // so a file that is not a database fails only at the first statement.
  // Returns false with a one-line reason in `error`.
  bool Open(const std::string& path, Mode mode, std::string& error);

  // Runs `sql` (one or more statements, no rows wanted). Returns false with
  // SQLite's message in `error`.
  bool Exec(const char* sql, std::string& error);

  // How long a statement waits for another connection's lock, in
  // milliseconds (5 seconds after Open); 0 fails at once with SQLITE_BUSY.
  void SetBusyTimeout(int milliseconds);

  // Runs "PRAGMA integrity_check" and gives the damage it reports in
  // `problems`, one line each, none when the database is sound. False (with a reason) when it
  // cannot run.
  // With `quick`, "PRAGMA quick_check": every page and row, but not whether
  // the indexes hold exactly the table's rows; several times faster.
  // `tick` (when set) is called now and then while the check runs.
  bool IntegrityCheck(std::vector<std::string>& problems, std::string& error,
                      bool quick = false, const std::function<void()>& tick = {}) const;

  // True when the last failure was SQLITE_BUSY or SQLITE_LOCKED: another
  // connection held a lock this one needed.
  bool WasBusy() const;

  // SQLite's message about the last failure on this connection.
  std::string Message() const;

  sqlite3* get() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace pga

#endif  // PGA_TOOLS_SQLITE_CONNECTION_H_
