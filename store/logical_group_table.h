// The SQLite table "logical_table" that stores the camera tree.
#ifndef PGA_STORE_LOGICAL_GROUP_TABLE_H_
#define PGA_STORE_LOGICAL_GROUP_TABLE_H_

#include <Poco/Data/Session.h>

#include <memory>
#include <string>

#include "store/i_group_table.h"

struct sqlite3;
struct sqlite3_stmt;

namespace pga {

// IGroupTable over the table "logical_table" of a Poco Data session that the
// table shares with its repository. A failure of the SQLite connector (its
// SQLiteException and subclasses, nothing else) is written to standard output
// as the line "<operation> <displayText>" and becomes the operation's neutral
// result; every other exception passes to the caller.
//
// Every operation prepares, runs and discards a Poco Data statement, except
// the five whose cost grows with the tree or the batch: Save, Update and
// Remove (once per item of a batch), GetAll and ReadAllItems (every row at
// start). These
// run SQLite statements of their own, prepared on first use and kept for
// later calls, on the session's connection (the source says what they
// save). A kept statement that fails is discarded, and the failure is
// reported with the very text the connector gives for a statement prepared
// afresh, so a reader of the lines cannot tell the two apart. Kept statements
// are always reset after use: they hold no lock, so Clear() can drop the
// table, after which they fail (and are prepared again) like any other.
//
// Not thread-safe.
class LogicalGroupTable : public IGroupTable {
 public:
  // Runs no statement. `session` must be open and stay on one connection.
  explicit LogicalGroupTable(std::shared_ptr<Poco::Data::Session> session);
  // Releases the kept statements before the session can close.
  ~LogicalGroupTable() override;

  // Creates the table unless it exists (a failure prints the CreateTable
  // line), then, beside it, the indexes that make GetLastOrder a lookup: one
  // on (parent_uuid, order_), and one on the same columns for groups only.
  // Both are made only when missing, so an existing database gains them the
  // first time it is opened; when they cannot be made (a read-only store)
  // nothing is printed and the table works without them. The second one's
  // condition names parent_uuid, so the scan of GetGroups never uses it and
  // keeps returning groups in the table's own order.
  void CreateTable() override;
  GroupModelList GetGroups() override;
  GroupOrderModelList GetAll() override;
  int32_t GetLastOrder(std::string type, std::string parent_id) override;
  std::shared_ptr<GroupOrderModel> Get(std::string uuid) override;
  bool Update(const GroupOrderModel& item) override;
  bool Save(const GroupOrderModel& item) override;
  bool Remove(std::string uuid) override;
  bool Clear() override;
  bool ReadAllItems(const StoredRowSink& take) override;
  // SQLite's SQLITE_BUSY and SQLITE_LOCKED, with their extended codes.
  bool LastFailureWasLock() const override { return last_failure_was_lock_; }

 private:
  class KeptStatement;

  // Reads every row of `select` (one of the two GetAll statements), handing
  // each to `add` as the statement standing on it; on failure prints the
  // GetAll line and answers false.
  template <typename Add>
  bool ReadAll(KeptStatement& select, const Add& add);

  // Creates the two lookup indexes when missing; a failure is silent.
  void CreateIndexes();

  // The SQLite connection under the session, asked for once.
  sqlite3* Connection();
  // Prints the line "<operation> <text>" of a failure and remembers whether
  // it was a lock of another connection.
  void Failed(const char* operation, const std::string& text, bool lock);
  void Failed(const char* operation, const Poco::Exception& error);

  const std::string table_name_;
  std::shared_ptr<Poco::Data::Session> session_;
  sqlite3* connection_ = nullptr;
  bool last_failure_was_lock_ = false;
  // Declared after session_, so they are finalized first.
  std::unique_ptr<KeptStatement> get_all_;
  std::unique_ptr<KeptStatement> read_all_;
  std::unique_ptr<KeptStatement> update_;
  std::unique_ptr<KeptStatement> save_;
  std::unique_ptr<KeptStatement> remove_;
};

}  // namespace pga

#endif  // PGA_STORE_LOGICAL_GROUP_TABLE_H_
