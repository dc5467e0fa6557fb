// The PostgreSQL group store: one tree that several servers share.
#ifndef PGA_STORE_POSTGRES_GROUP_REPOSITORY_H_
#define PGA_STORE_POSTGRES_GROUP_REPOSITORY_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "store/i_group_repository.h"
#include "store/postgres_answer.h"

namespace pga {

class PostgresChangeLog;
class PostgresGroupTable;
class PostgresSession;
class PostgresTransaction;

// IGroupRepository over a PostgreSQL database that holds the table
// "logical_table" under key 0, with the answers of the SQLite repository,
// and the change log through which the servers sharing it follow each other
// (change_log()). Every batch begins with the store's change lock
// (PostgresChangeLog::kLockChanges), held until it ends: the batches of all
// servers run one after the other, so that what one reads at its start (the
// last order under a parent, the other servers' changes) stays true until
// it commits. A failed statement ends its batch: the writes after it
// answer false without touching the store. A lost connection makes every
// operation fail until it is made again, which the next operation outside a
// batch tries (with a backoff). Lines on standard output name the operation
// ("PostgresGroupRepository::RunBatch <message>", "... no table under key
// N"). Not thread-safe, except what change_log() says of watching.
class PostgresGroupRepository : public IGroupRepository {
 public:
  // How long the change log keeps a change.
  static constexpr std::chrono::seconds kLogRetention = std::chrono::hours(24);

  // How long a new store waits for its database, as the SQLite store waits
  // for its file.
  static constexpr std::chrono::seconds kConnectWait = std::chrono::seconds(60);

  // Connects to `conninfo` (a libpq connection string or URI), trying again
  // for up to `connect_wait` with a line per attempt (see PostgresSession),
  // and creates the table and the change log unless all of them exist.
  // Throws Poco::Data::ConnectionFailedException when the database cannot
  // be reached, as the SQLite store throws for a file it cannot open. No
  // statement waits longer than `silence` without hearing from the server
  // (see kServerSilence); one that would fails as on a lost connection.
  explicit PostgresGroupRepository(const std::string& conninfo,
                                   std::chrono::seconds log_retention = kLogRetention,
                                   std::chrono::seconds connect_wait = kConnectWait,
                                   std::chrono::milliseconds silence = kServerSilence);
  ~PostgresGroupRepository() override;

  GroupModelList GetGroups(int32_t table_key) override;
  GroupOrderModelList GetAll(int32_t table_key) override;
  bool ReadAllItems(int32_t table_key, const StoredRowSink& take) override;
  int32_t GetLastOrder(int32_t table_key, std::string type, std::string parent_id) override;
  std::shared_ptr<GroupOrderModel> Get(int32_t table_key, std::string uuid) override;
  bool Update(int32_t table_key, const GroupOrderItems& items) override;
  bool Save(int32_t table_key, const GroupOrderModel& item) override;
  bool Remove(int32_t table_key, std::string uuid) override;
  // Deletes every row, in the open batch if there is one: the table stays
  // for the other servers (see GroupService::Clear). Always true.
  bool Clear() override;
  bool SaveAll(const GroupOrderItems& items) override;
  bool RunBatch(const std::function<void()>& writes) override;
  IChangeLog* change_log() override;
  // A NUL byte, bytes that are not UTF-8 on a UTF8 database (see
  // PostgresSession::Refusal), and an id to write longer than kLongestId
  // bytes.
  const char* Refusal(const std::string& text, TextUse use) const override;
  // A statement of the last batch failed with a SQLSTATE of class 22, 23 or
  // 54 (see PostgresSession::TakeDataRefused).
  bool TakeDataRefused() override;

  // The longest id taken. The table's indexes keep their entries to a
  // third of a page (2,704 bytes with their headers): a longer id fails its
  // insert, and with it the change, unless the server can compress it,
  // which depends on its bytes. Every id beyond this is refused, the same
  // way each time.
  static constexpr std::size_t kLongestId = 2600;

 private:
  // The table under `table_key`, or null (after a line naming `operation`).
  PostgresGroupTable* FindTable(int32_t table_key, const char* operation) const;
  // Runs `writes` in one transaction, or inside the one already open;
  // `operation` names the lines of a failed begin or commit.
  bool RunInTransaction(const char* operation, const std::function<void()>& writes);
  // Runs `write` as one write of the open transaction, if there is one.
  bool Write(const std::function<bool()>& write);

  std::shared_ptr<PostgresSession> session_;
  std::shared_ptr<PostgresGroupTable> table_;
  std::unique_ptr<PostgresChangeLog> log_;
  // The transaction of the batch being run, which writes join; null
  // between batches.
  PostgresTransaction* batch_ = nullptr;
};

}  // namespace pga

#endif  // PGA_STORE_POSTGRES_GROUP_REPOSITORY_H_
