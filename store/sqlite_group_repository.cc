#include "store/sqlite_group_repository.h"

#include <Poco/Data/DataException.h>
#include <Poco/Data/SQLite/Connector.h>
#include <Poco/Data/SQLite/Utility.h>
#include <Poco/Data/Session.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>

#include "store/backoff.h"
#include "store/logical_group_table.h"
#include "store/sqlite_journal.h"
#include "store/sqlite_lock_wait.h"
#include "store/sqlite_store_claim.h"
#include "store/sqlite_transaction.h"

namespace pga {

namespace {

constexpr char kConnector[] = "SQLite";
constexpr char kDatabaseFile[] = "group.db";
constexpr std::size_t kTimeoutSeconds = 60;
constexpr int32_t kLogicalTableKey = 0;
// While the store is open, SQLite writes ahead into "group.db-wal": a
// commit is then one disk sync of that file instead of the four of a
// rollback journal (journal, directory, journal header, database), and is
// just as durable (synchronous stays FULL) and atomic. Other connections to
// the file keep reading while it writes.
constexpr char kWriteAhead[] = "wal";
// Every commit is synced to the log before it is acknowledged, whatever
// default the SQLite build has for logging ahead. A big batch grows the log;
// after the next checkpoint it is cut back to 4 MiB instead of keeping the
// space.
constexpr char kLogSettings[] = "PRAGMA synchronous=FULL; PRAGMA journal_size_limit=4194304";
// When the store closes, the file goes back to SQLite's default journal:
// the log is copied into group.db and removed, so a stopped component leaves
// an ordinary database file that any tool opens as it always did.
constexpr char kRollbackJournal[] = "delete";

void UnregisterConnector() {
  try {
    Poco::Data::SQLite::Connector::unregisterConnector();
  } catch (const Poco::Exception& error) {
    // Only possible when someone else unregistered our registration; a
    // destructor must not throw, so the line is all that is left to do.
    std::printf("%s %s\n", "SqliteGroupRepository::UnregisterConnector",
                error.displayText().c_str());
  }
}

}  // namespace

SqliteGroupRepository::SqliteGroupRepository()
    : SqliteGroupRepository(kDatabaseFile, kTimeoutSeconds) {}

SqliteGroupRepository::SqliteGroupRepository(const std::string& connection_string,
                                             std::size_t timeout_seconds) {
  Poco::Data::SQLite::Connector::registerConnector();
  try {
    session_ =
        std::make_shared<Poco::Data::Session>(kConnector, connection_string, timeout_seconds);
    ClaimStore(std::chrono::seconds(timeout_seconds));
    lock_wait_ = std::make_unique<SqliteLockWait>(
        Poco::Data::SQLite::Utility::dbHandle(*session_),
        std::min<std::chrono::milliseconds>(std::chrono::seconds(timeout_seconds),
                                            SqliteLockWait::kDefaultLimit));
    UseWriteAheadLog();
    auto table = std::make_shared<LogicalGroupTable>(session_);
    table->CreateTable();
    tables_.emplace(kLogicalTableKey, std::move(table));
  } catch (...) {
    // The destructor will not run: give the registration back here.
    tables_.clear();
    lock_wait_.reset();
    session_.reset();
    claim_.reset();
    UnregisterConnector();
    throw;
  }
}

SqliteGroupRepository::~SqliteGroupRepository() {
  UnregisterConnector();
  tables_.clear();
  // Best effort, and without waiting: while another connection has the
  // file open SQLite keeps the log, and the last connection to close
  // checkpoints it instead.
  lock_wait_->WithoutWaiting(
      [&] { JournalMode(Poco::Data::SQLite::Utility::dbHandle(*session_), kRollbackJournal); });
  lock_wait_.reset();
  session_.reset();
}

void SqliteGroupRepository::ClaimStore(std::chrono::seconds limit) {
  const char* file = sqlite3_db_filename(Poco::Data::SQLite::Utility::dbHandle(*session_), "main");
  // A database in memory or in a temporary file is nobody else's.
  if (file == nullptr || *file == '\0') return;
  claim_ = std::make_unique<SqliteStoreClaim>();
  const auto deadline = std::chrono::steady_clock::now() + limit;
  // A try is one system call: the next component takes over within half a
  // second of the last one's end.
  Backoff backoff(std::chrono::milliseconds(50), std::chrono::milliseconds(500));
  for (bool waiting = false;; waiting = true) {
    switch (claim_->TryTake(file)) {
      case SqliteStoreClaim::Result::kTaken:
        if (waiting) {
          std::printf(
              "SqliteGroupRepository::ClaimStore %s: the other component stopped; this "
              "one serves the store now\n",
              claim_->directory().c_str());
        }
        return;
      case SqliteStoreClaim::Result::kImpossible:
        std::printf(
            "SqliteGroupRepository::ClaimStore %s: %s; a second component on this "
            "store would not be noticed\n",
            claim_->directory().c_str(), claim_->reason().c_str());
        return;
      case SqliteStoreClaim::Result::kHeld:
        break;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      const std::string reason = claim_->directory() +
                                 ": another component still serves this store after " +
                                 std::to_string(limit.count()) + " s";
      std::printf("SqliteGroupRepository::ClaimStore %s\n", reason.c_str());
      throw Poco::Data::ConnectionFailedException(reason);
    }
    if (!waiting) {
      std::printf(
          "SqliteGroupRepository::ClaimStore %s: another component serves this store; "
          "waiting up to %lld s for it to stop\n",
          claim_->directory().c_str(), static_cast<long long>(limit.count()));
      std::fflush(stdout);
    }
    backoff.Failed();
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(backoff.Remaining(), deadline - now));
  }
}

void SqliteGroupRepository::UseWriteAheadLog() {
  sqlite3* db = Poco::Data::SQLite::Utility::dbHandle(*session_);
  // A store that may only be read (a write-protected file) has no commits
  // to log; it stays as it is, without a line.
  if (sqlite3_db_readonly(db, "main") == 1) return;
  // Connection settings only: they cannot fail on a connection that opened.
  sqlite3_exec(db, kLogSettings, nullptr, nullptr, nullptr);
  // The switch needs the file to itself. A reader that holds it would make
  // the start wait for as long as it reads; the default journal is as safe,
  // and the next start tries again.
  std::string mode;
  lock_wait_->WithoutWaiting([&] { mode = JournalMode(db, kWriteAhead); });
  if (mode.empty()) {
    std::fprintf(stderr,
                 "SqliteGroupRepository::UseWriteAheadLog %s: the default journal stays until "
                 "the next start\n",
                 sqlite3_errmsg(db));
  }
}

IGroupTable* SqliteGroupRepository::FindTable(int32_t table_key, const char* operation) const {
  auto it = tables_.find(table_key);
  if (it != tables_.end()) return it->second.get();
  std::printf("%s no table under key %d\n", operation, static_cast<int>(table_key));
  return nullptr;
}

GroupModelList SqliteGroupRepository::GetGroups(int32_t table_key) {
  IGroupTable* table = FindTable(table_key, "SqliteGroupRepository::GetGroups");
  return table ? table->GetGroups() : GroupModelList();
}

GroupOrderModelList SqliteGroupRepository::GetAll(int32_t table_key) {
  IGroupTable* table = FindTable(table_key, "SqliteGroupRepository::GetAll");
  return table ? table->GetAll() : GroupOrderModelList();
}

bool SqliteGroupRepository::ReadAllItems(int32_t table_key, const StoredRowSink& take) {
  IGroupTable* table = FindTable(table_key, "SqliteGroupRepository::GetAll");
  return table != nullptr && table->ReadAllItems(take);
}

int32_t SqliteGroupRepository::GetLastOrder(int32_t table_key, std::string type,
                                            std::string parent_id) {
  IGroupTable* table = FindTable(table_key, "SqliteGroupRepository::GetLastOrder");
  return table ? table->GetLastOrder(std::move(type), std::move(parent_id)) : -1;
}

std::shared_ptr<GroupOrderModel> SqliteGroupRepository::Get(int32_t table_key, std::string uuid) {
  IGroupTable* table = FindTable(table_key, "SqliteGroupRepository::Get");
  return table ? table->Get(std::move(uuid)) : nullptr;
}

bool SqliteGroupRepository::Update(int32_t table_key, const GroupOrderItems& items) {
  IGroupTable* table = FindTable(table_key, "SqliteGroupRepository::Update");
  if (table == nullptr) return false;
  // An item that fails has printed its own line; the batch goes on.
  return RunInTransaction("SqliteGroupRepository::Update", [&] {
    for (const GroupOrderModel& item : items) Write(*table, [&] { return table->Update(item); });
  });
}

bool SqliteGroupRepository::Save(int32_t table_key, const GroupOrderModel& item) {
  IGroupTable* table = FindTable(table_key, "SqliteGroupRepository::Save");
  return table != nullptr && Write(*table, [&] { return table->Save(item); });
}

bool SqliteGroupRepository::Remove(int32_t table_key, std::string uuid) {
  IGroupTable* table = FindTable(table_key, "SqliteGroupRepository::Remove");
  return table != nullptr && Write(*table, [&] { return table->Remove(uuid); });
}

bool SqliteGroupRepository::RunBatch(const std::function<void()>& writes) {
  return RunInTransaction("SqliteGroupRepository::RunBatch", writes);
}

bool SqliteGroupRepository::RunInTransaction(const char* operation,
                                             const std::function<void()>& writes) {
  if (batch_ != nullptr) {
    writes();
    return !batch_->failed();
  }
  SqliteTransaction transaction(*session_, operation);
  // Its waits for locks share one deadline from here on.
  lock_wait_->TransactionBegun();
  batch_ = &transaction;
  try {
    writes();
  } catch (...) {
    // The transaction rolls back as it goes.
    batch_ = nullptr;
    throw;
  }
  batch_ = nullptr;
  const bool kept = transaction.Commit();
  lock_met_ = lock_met_ || transaction.met_lock();
  return kept;
}

bool SqliteGroupRepository::TakeLockMet() { return std::exchange(lock_met_, false); }

bool SqliteGroupRepository::CanWriteNow() {
  if (batch_ != nullptr) return true;
  sqlite3* db = Poco::Data::SQLite::Utility::dbHandle(*session_);
  int rc = SQLITE_OK;
  lock_wait_->WithoutWaiting([&] {
    rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  });
  const int primary = rc & 0xff;
  return primary != SQLITE_BUSY && primary != SQLITE_LOCKED;
}

bool SqliteGroupRepository::Write(const IGroupTable& table, const std::function<bool()>& write) {
  if (batch_ == nullptr) return write();
  return batch_->Write(write, [&table] { return table.LastFailureWasLock(); });
}

bool SqliteGroupRepository::Clear() {
  for (auto& [key, table] : tables_) table->Clear();
  return true;
}

bool SqliteGroupRepository::SaveAll(const GroupOrderItems& items) {
  for (auto& [key, table] : tables_) {
    for (const GroupOrderModel& item : items) table->Save(item);
  }
  return true;
}

}  // namespace pga
