// The change log of the PostgreSQL store, in the tables
// "logical_change_log" and "logical_change_trim".
#ifndef PGA_STORE_POSTGRES_CHANGE_LOG_H_
#define PGA_STORE_POSTGRES_CHANGE_LOG_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "store/i_change_log.h"
#include "store/postgres_group_table.h"
#include "store/postgres_listener.h"
#include "store/postgres_session.h"
#include "store/postgres_statement.h"

namespace pga {

// IChangeLog in the store's database. Each notice of a change is one row of
// "logical_change_log" (seq, the transaction, the time, kind, record). A
// writer appends only inside a transaction that holds kLockChanges, one lock
// for the whole database taken when the transaction begins and held until
// its commit, so that sequence numbers are handed out in commit order and a
// reader that has read up to a number never meets a smaller one later. The
// append announces the change's last number with NOTIFY on the channel
// "logical_table_changes", which is delivered at commit. Rows older than the
// retention are trimmed by every watching server; "logical_change_trim"
// holds the largest number trimmed, so that a reader can tell it missed some.
//
// Not thread-safe, except that the listener it starts in Watch() runs on a
// thread and connection of its own.
class PostgresChangeLog : public IChangeLog {
 public:
  static constexpr char kChannel[] = "logical_table_changes";
  // The store's change lock. Every transaction that changes the store takes
  // it first, before it reads anything it computes its change from, so that
  // the changes of all servers happen one after the other, each on what the
  // ones before it committed. It is the only lock the store takes
  // explicitly, so no two servers can wait for each other.
  static constexpr char kLockChanges[] = "SELECT pg_advisory_xact_lock(25068, 0)";

  // Uses the session and the table of the repository, which must outlive
  // it. Runs no statement.
  PostgresChangeLog(std::shared_ptr<PostgresSession> session,
                    std::shared_ptr<PostgresGroupTable> table, std::chrono::seconds retention);
  ~PostgresChangeLog() override;

  // Creates the log's tables unless they exist. False with the server's
  // message in `error` when that fails.
  bool CreateTables(std::string& error);

  bool Append(const std::vector<LoggedNotice>& notices) override;
  bool StartAtEnd() override;
  std::optional<LogTail> ReadNew() override;
  void MarkApplied(int64_t seq) override;
  std::optional<GroupOrderItems> ReadItems(const std::vector<std::string>& ids) override;
  bool ReadAllItems(const StoredRowSink& take) override;
  void Watch(std::function<bool()> wake) override;
  void StopWatching() override;
  void Nudge() override;

  // Tells the log whether the batch that appended to it was kept: only then
  // are the appended changes this server's own, to be passed over by
  // ReadNew(). (A change whose commit failed may still have been committed;
  // it is then read like another server's.)
  void EndBatch(bool kept);

 private:
  // Whether `seq` belongs to one of this server's kept changes.
  bool IsOwn(int64_t seq) const;
  // Forgets this server's changes up to the read position.
  void ForgetOwnBefore();

  std::shared_ptr<PostgresSession> session_;
  std::shared_ptr<PostgresGroupTable> table_;
  const std::chrono::seconds retention_;
  // The last change read (applied, or passed over as this server's own).
  int64_t position_ = 0;
  // First and last numbers of this server's changes: appended in the open
  // batch, and kept but not read yet.
  std::vector<std::pair<int64_t, int64_t>> appended_;
  std::vector<std::pair<int64_t, int64_t>> own_;
  PostgresStatement append_;
  PostgresStatement end_;
  PostgresStatement read_;
  std::unique_ptr<PostgresListener> listener_;
};

}  // namespace pga

#endif  // PGA_STORE_POSTGRES_CHANGE_LOG_H_
