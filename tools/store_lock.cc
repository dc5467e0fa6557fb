#include "tools/store_lock.h"

#include <filesystem>
#include <system_error>

#include "store/sqlite_journal.h"

namespace pga {

namespace {

std::string OpenElsewhere(const StorePaths& paths) {
  return "a component (or another program) has the store " + paths.db.string() +
         " open; stop it first";
}

}  // namespace

bool StoreLock::Acquire(const StorePaths& paths, std::string& error) {
  if (claim_.TryTake(paths.db.string()) == SqliteStoreClaim::Result::kHeld) {
    error = OpenElsewhere(paths);
    return false;
  }
  if (!connection_.Open(paths.db.string(), SqliteConnection::Mode::kReadWrite, error)) {
    error = "cannot open " + paths.db.string() + ": " + error;
    return false;
  }
  connection_.SetBusyTimeout(0);
  // The locking mode must be set before the first read: the first access
  // in write-ahead mode then needs the exclusive lock instead of the shared
  // memory index that other connections use.
  std::string reason;
  bool locked = connection_.Exec("PRAGMA locking_mode=EXCLUSIVE", reason);
  if (locked) {
    locked = JournalMode(connection_.get(), "delete") == "delete";
    if (!locked) reason = connection_.Message();
  }
  locked = locked && connection_.Exec("BEGIN EXCLUSIVE; COMMIT", reason);
  if (!locked) {
    error = connection_.WasBusy() ? OpenElsewhere(paths)
                                  : "cannot lock " + paths.db.string() + ": " + reason;
    return false;
  }
  // Leaving write-ahead mode folded the log in and removed it; its index
  // is stale and nobody else can be using it now.
  std::error_code ignored;
  std::filesystem::remove(paths.wal, ignored);
  std::filesystem::remove(paths.shm, ignored);
  return true;
}

}  // namespace pga
