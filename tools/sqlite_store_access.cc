#include "tools/sqlite_store_access.h"

#include <sqlite3.h>

#include <exception>
#include <thread>
#include <utility>

#include "tools/atomic_file.h"
#include "tools/progress_meter.h"
#include "tools/store_check.h"
#include "tools/store_lock.h"
#include "tools/store_table.h"

namespace pga {

namespace {

// integrity_check lines shown at most; a badly damaged file gives many.
constexpr std::size_t kIntegrityLines = 10;

Finding IntegrityFinding(std::string message) {
  Finding finding;
  finding.kind = "integrity";
  finding.message = std::move(message);
  return finding;
}

}  // namespace

SqliteStoreAccess::SqliteStoreAccess(StorePaths paths)
    : paths_(std::move(paths)), name_(paths_.db.string()) {}

SqliteStoreAccess::SqliteStoreAccess(SqliteConnection& connection, std::string name)
    : name_(std::move(name)), connection_(&connection) {}

bool SqliteStoreAccess::Connect(std::string& error) {
  if (connection_ != nullptr) return true;
  if (!own_.Open(paths_.db.string(), SqliteConnection::Mode::kReadOnly, error)) {
    error = name_ + ": " + error;
    return false;
  }
  connection_ = &own_;
  return true;
}

bool SqliteStoreAccess::CheckStorage(std::vector<Finding>& findings, std::string& error) {
  if (!Connect(error)) return false;
  if (!StoreTable(*connection_).Verify(error)) {
    error = name_ + ": " + error;
    return false;
  }
  std::vector<std::string> damage;
  ProgressMeter meter(progress_label_, "");
  if (!connection_->IntegrityCheck(damage, error, false,
                                   [&meter] { meter.Tick("SQLite's integrity_check"); })) {
    // A writer that would not let go is a reason to give up; damage so bad
    // that integrity_check stops is one more finding.
    if (connection_->WasBusy()) {
      error = name_ + ": " + error;
      return false;
    }
    damage.insert(damage.begin(), error);
  }
  for (std::size_t i = 0; i < damage.size() && i < kIntegrityLines; ++i) {
    findings.push_back(IntegrityFinding(damage[i]));
  }
  if (damage.size() > kIntegrityLines) {
    findings.push_back(IntegrityFinding(std::to_string(damage.size() - kIntegrityLines) +
                                        " more lines from integrity_check"));
  }
  std::string unreadable;
  if (!CheckSchema(*connection_, findings, unreadable)) {
    findings.push_back(IntegrityFinding(unreadable));
  }
  return true;
}

bool SqliteStoreAccess::CheckAndRead(std::vector<Finding>& findings, const RowsRead& rows_read,
                                     std::string& error) {
  if (!Connect(error)) return false;
  if (!StoreTable(*connection_).Verify(error)) {
    error = name_ + ": " + error;
    return false;
  }
  // SQLite's check of a large store takes as long as reading and checking
  // its rows: the rows are read on a connection of their own, on a thread
  // of their own, meanwhile. Each is one read transaction, as they would be
  // one after the other.
  const char* file = sqlite3_db_filename(connection_->get(), "main");
  SqliteConnection reader;
  std::string ignored;
  if (file == nullptr || *file == '\0' ||
      !reader.Open(file, SqliteConnection::Mode::kReadOnly, ignored)) {
    return StoreAccess::CheckAndRead(findings, rows_read, error);
  }
  std::exception_ptr failure;
  std::thread read_rows([&reader, &rows_read, &failure] {
    try {
      std::vector<StoreRow> rows;
      std::string why;
      const bool read = StoreTable(reader).Read(rows, why);
      if (!read) rows.clear();
      rows_read(read, rows, why);
    } catch (...) {
      failure = std::current_exception();
    }
  });
  bool checked;
  try {
    checked = CheckStorage(findings, error);
  } catch (...) {
    read_rows.join();
    throw;
  }
  read_rows.join();
  if (failure) std::rethrow_exception(failure);
  return checked;
}

bool SqliteStoreAccess::Read(std::vector<StoreRow>& rows, std::string& error,
                             const Progress& progress) {
  return Connect(error) && StoreTable(*connection_).Read(rows, error, progress);
}

bool SqliteStoreAccess::ReadInOrder(std::vector<StoreRow>& rows, std::vector<std::size_t>& order,
                                    std::string& error, const Progress& progress) {
  return Connect(error) && StoreTable(*connection_).Read(rows, &order, error, progress);
}

std::size_t SqliteStoreAccess::Count() {
  std::string ignored;
  return Connect(ignored) ? StoreTable(*connection_).Count() : 0;
}

bool SqliteStoreAccess::Replace(const std::vector<StoreRow>& rows, std::string& error,
                                const Progress& progress) {
  if (paths_.db.empty()) {
    error = name_ + " is read only here";
    return false;
  }
  StoreLock lock;
  if (!lock.Acquire(paths_, error)) return false;
  StoreTable table(lock.connection());
  if (!table.Verify(error) || !table.Replace(rows, error, progress)) {
    error = name_ + ": import failed, the store is unchanged: " + error;
    return false;
  }
  return true;
}

mode_t SqliteStoreAccess::file_mode() const { return FileMode(paths_.db); }

}  // namespace pga
