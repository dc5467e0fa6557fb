#include "store/sqlite_transaction.h"

#include <Poco/Data/SQLite/SQLiteException.h>
#include <Poco/Data/SQLite/Utility.h>
#include <Poco/Data/Session.h>
#include <sqlite3.h>

#include <cstdio>

namespace pga {

namespace {

void PrintFailure(const char* operation, const Poco::Exception& error) {
  std::printf("%s %s\n", operation, error.displayText().c_str());
}

// The connector throws these two for SQLITE_BUSY and SQLITE_LOCKED.
bool IsLock(const Poco::Exception& error) {
  return dynamic_cast<const Poco::Data::SQLite::DBLockedException*>(&error) != nullptr ||
         dynamic_cast<const Poco::Data::SQLite::TableLockedException*>(&error) != nullptr;
}

}  // namespace

SqliteTransaction::SqliteTransaction(Poco::Data::Session& session, const char* operation)
    : session_(session), operation_(operation) {
  try {
    session_.begin();
  } catch (const Poco::Data::SQLite::SQLiteException& error) {
    PrintFailure(operation_, error);
    failed_ = true;
    met_lock_ = IsLock(error);
  }
}

SqliteTransaction::~SqliteTransaction() {
  if (!committed_) RollBack();
}

bool SqliteTransaction::Write(const std::function<bool()>& write,
                              const std::function<bool()>& write_met_lock) {
  if (failed_) return false;
  if (write()) return true;
  if (!Open()) {
    write_failure_ = "transaction ended by a failed write";
  } else if (write_met_lock()) {
    write_failure_ = "a write could not take the write lock";
    met_lock_ = true;
  }
  failed_ = write_failure_ != nullptr;
  return false;
}

bool SqliteTransaction::Commit() {
  if (write_failure_ != nullptr) std::printf("%s %s\n", operation_, write_failure_);
  if (failed_) {
    RollBack();
    return false;
  }
  try {
    session_.commit();
    committed_ = true;
  } catch (const Poco::Data::SQLite::SQLiteException& error) {
    PrintFailure(operation_, error);
    met_lock_ = IsLock(error);
    RollBack();
  }
  return committed_;
}

bool SqliteTransaction::Open() const {
  return sqlite3_get_autocommit(Poco::Data::SQLite::Utility::dbHandle(session_)) == 0;
}

void SqliteTransaction::RollBack() {
  if (!Open()) return;
  try {
    session_.rollback();
  } catch (const Poco::Exception& error) {
    // Also from the destructor, which must not throw: the line is all that
    // is left to do.
    PrintFailure(operation_, error);
  }
}

}  // namespace pga
