// The SQLite group store: the database file and its table of tree items.
#ifndef PGA_STORE_SQLITE_GROUP_REPOSITORY_H_
#define PGA_STORE_SQLITE_GROUP_REPOSITORY_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "store/i_group_repository.h"
#include "store/i_group_table.h"

// Only the store's SQLite sources see Poco Data.
namespace Poco::Data {
class Session;
}  // namespace Poco::Data

namespace pga {

class SqliteLockWait;
class SqliteStoreClaim;
class SqliteTransaction;

// IGroupRepository over one SQLite database that holds the table
// "logical_table" under key 0. Each repository registers Poco's SQLite
// connector when built and unregisters it when destroyed; Poco counts the
// registrations, so any number of repositories may live at once or one after
// another. A table key with no table gives the neutral result of the
// operation (empty list, -1, null, false) and a line on standard output.
// Not thread-safe: the session is used from one thread at a time.
class SqliteGroupRepository : public IGroupRepository {
 public:
  // Opens "group.db" in the current directory (created when missing) with a
  // timeout of 60 seconds and creates the table when missing. Throws Poco's
  // ConnectionFailedException when the file cannot be opened, or when
  // another repository (of this process or another) still serves it at the
  // end of the timeout (see SqliteStoreClaim).
  SqliteGroupRepository();
  // As above with another database file and timeout (seconds). How long the
  // store waits for a lock that another connection holds is set by
  // SqliteLockWait: its default limit, or this timeout when shorter. The
  // switch to the write-ahead log at opening and back at closing never
  // waits.
  SqliteGroupRepository(const std::string& connection_string, std::size_t timeout_seconds);
  ~SqliteGroupRepository() override;

  GroupModelList GetGroups(int32_t table_key) override;
  GroupOrderModelList GetAll(int32_t table_key) override;
  bool ReadAllItems(int32_t table_key, const StoredRowSink& take) override;
  int32_t GetLastOrder(int32_t table_key, std::string type, std::string parent_id) override;
  std::shared_ptr<GroupOrderModel> Get(int32_t table_key, std::string uuid) override;
  // When the commit fails the transaction is rolled back, so the session is
  // ready for the next one and none of the batch is kept; so is a batch
  // whose items cannot take the write lock (see RunBatch). Inside a batch
  // of RunBatch() the items join that batch's transaction instead.
  bool Update(int32_t table_key, const GroupOrderItems& items) override;
  bool Save(int32_t table_key, const GroupOrderModel& item) override;
  bool Remove(int32_t table_key, std::string uuid) override;
  bool Clear() override;
  bool SaveAll(const GroupOrderItems& items) override;
  // One transaction around `writes`. A failure to begin or to commit writes
  // the line "SqliteGroupRepository::RunBatch <displayText>"; a failed
  // commit is rolled back. When a failing write makes SQLite end the
  // transaction itself (a full disk, for one), the later writes are skipped
  // and the line "SqliteGroupRepository::RunBatch transaction ended by a
  // failed write" is written. So it is, with "a write could not take the
  // write lock", when a write fails on SQLITE_BUSY or SQLITE_LOCKED
  // (another connection kept a lock past the lock wait): the batch is then
  // rolled back instead of committing the rest as if all were kept. Every
  // other failing write fails alone, and the batch goes on and commits.
  bool RunBatch(const std::function<void()>& writes) override;
  // True when a transaction failed since the last call on a lock of
  // another connection: a write, its begin or its commit met
  // SQLITE_BUSY or SQLITE_LOCKED.
  bool TakeLockMet() override;
  // Begins and ends a transaction that takes the write lock, without a wait.
  bool CanWriteNow() override;

 private:
  // Makes SQLite log writes ahead while the store is open (see the source
  // for why). When the switch cannot be made at once (another connection
  // reads the file, for one), the store keeps SQLite's default journal,
  // which is slower but as safe, and writes to standard error the line
  // "SqliteGroupRepository::UseWriteAheadLog <message>: the default journal
  // stays until the next start". A read-only store is left
  // alone, silently.
  void UseWriteAheadLog();
  // Claims the store for this repository, waiting up to `limit` for one
  // that serves it to stop, with the line "SqliteGroupRepository::ClaimStore
  // <directory>: another component serves this store; waiting up to <n> s
  // for it to stop" when it must wait, and "... : the other component
  // stopped; this one serves the store now" when the wait ends so; at the
  // limit it throws ConnectionFailedException. A store in memory needs no claim; a file
  // system that takes no claim gives a line and the store opens unclaimed.
  void ClaimStore(std::chrono::seconds limit);
  // The table under `table_key`, or null (after printing a line naming
  // `operation`) when there is none. Never adds a map entry.
  IGroupTable* FindTable(int32_t table_key, const char* operation) const;
  // Runs `writes` in one transaction, or inside the one already open;
  // `operation` names the lines of a failed begin or commit.
  bool RunInTransaction(const char* operation, const std::function<void()>& writes);
  // Runs `write`, a statement of `table`, as one write of the open
  // transaction, if there is one.
  bool Write(const IGroupTable& table, const std::function<bool()>& write);

  // Released last, when the session has closed the database.
  std::unique_ptr<SqliteStoreClaim> claim_;
  std::shared_ptr<Poco::Data::Session> session_;
  // The connection's waits for locks of others; released before the session.
  std::unique_ptr<SqliteLockWait> lock_wait_;
  std::map<int32_t, std::shared_ptr<IGroupTable>> tables_;
  // The transaction of the batch being run, which writes join; null
  // between batches.
  SqliteTransaction* batch_ = nullptr;
  // Set when a transaction failed on a lock of another connection.
  bool lock_met_ = false;
};

}  // namespace pga

#endif  // PGA_STORE_SQLITE_GROUP_REPOSITORY_H_
