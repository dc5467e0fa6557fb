#include "tools/database_copy.h"

#include <sqlite3.h>

#include <functional>
#include <vector>

#include "store/sqlite_journal.h"

namespace pga {

namespace {

// Pages per step: small enough for the progress to move, large enough for
// the steps to cost nothing.
constexpr int kPagesPerStep = 1024;

}  // namespace

bool CopyDatabase(SqliteConnection& source, SqliteConnection& dest, ProgressMeter* progress,
                  std::string& error) {
  // An explicit read transaction pins one state of the source for all
  // steps; without it each step would read the newest state, and a write
  // in between would make the copy start over.
  if (!source.Exec("BEGIN; SELECT count(*) FROM sqlite_schema", error)) {
    error = "cannot read the database: " + error;
    return false;
  }
  sqlite3_backup* backup = sqlite3_backup_init(dest.get(), "main", source.get(), "main");
  if (backup == nullptr) {
    error = "cannot start the copy: " + dest.Message();
    std::string ignored;
    source.Exec("COMMIT", ignored);
    return false;
  }
  int rc = SQLITE_OK;
  while (rc == SQLITE_OK) {
    rc = sqlite3_backup_step(backup, kPagesPerStep);
    if (progress != nullptr) {
      const int total = sqlite3_backup_pagecount(backup);
      progress->SetTotal(static_cast<std::size_t>(total));
      progress->Update(static_cast<std::size_t>(total - sqlite3_backup_remaining(backup)));
    }
  }
  sqlite3_backup_finish(backup);
  std::string ignored;
  source.Exec("COMMIT", ignored);
  if (rc != SQLITE_DONE) {
    error = std::string("the copy failed: ") + sqlite3_errstr(rc);
    return false;
  }
  return true;
}

bool CopyDatabaseToFile(SqliteConnection& source, const std::string& dest_path,
                        ProgressMeter* progress, std::string& error, bool quick_check) {
  {
    SqliteConnection dest;
    if (!dest.Open(dest_path, SqliteConnection::Mode::kReadWrite, error) ||
        !CopyDatabase(source, dest, progress, error)) {
      return false;
    }
  }
  // A fresh connection reads the copied header, which still names the
  // source's journal mode.
  SqliteConnection dest;
  if (!dest.Open(dest_path, SqliteConnection::Mode::kReadWrite, error)) return false;
  if (JournalMode(dest.get(), "delete") != "delete") {
    error = "cannot put the copy in the default journal mode: " + dest.Message();
    return false;
  }
  if (!quick_check) return true;
  std::vector<std::string> problems;
  std::function<void()> tick;
  if (progress != nullptr) tick = [progress] { progress->Tick("quick_check of the copy"); };
  if (!dest.IntegrityCheck(problems, error, true, tick)) return false;
  if (!problems.empty()) {
    error = "the copy fails quick_check (" + problems.front() +
            "); the store itself may be damaged: run check";
    return false;
  }
  return true;
}

}  // namespace pga
