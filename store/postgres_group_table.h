// The table "logical_table" of the camera tree in a PostgreSQL database.
#ifndef PGA_STORE_POSTGRES_GROUP_TABLE_H_
#define PGA_STORE_POSTGRES_GROUP_TABLE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/i_group_table.h"
#include "store/postgres_session.h"
#include "store/postgres_statement.h"

namespace pga {

// IGroupTable over the table "logical_table" of a PostgreSQL database, with
// the columns, rows and answers of the SQLite table: names are TEXT, so
// that names longer than 32 bytes stay whole, and created_time is a BIGINT
// that holds the 64 bits of the unsigned time as a signed number. A text is
// stored up to its first NUL byte. Statements are prepared once per
// connection and reused (see PostgresStatement). A failure of a statement is written to
// standard output as the line "PostgresGroupTable::<operation> <message>"
// (GetGroups writes none) and becomes the operation's neutral result.
// Not thread-safe.
class PostgresGroupTable : public IGroupTable {
 public:
  // Runs no statement. `session` must stay open while the table lives.
  explicit PostgresGroupTable(std::shared_ptr<PostgresSession> session);
  ~PostgresGroupTable() override;

  // Creates the table, and the indexes that make GetLastOrder a lookup,
  // unless they exist.
  void CreateTable() override;
  GroupModelList GetGroups() override;
  GroupOrderModelList GetAll() override;
  bool ReadAllItems(const StoredRowSink& take) override;
  int32_t GetLastOrder(std::string type, std::string parent_id) override;
  std::shared_ptr<GroupOrderModel> Get(std::string uuid) override;
  bool Update(const GroupOrderModel& item) override;
  bool Save(const GroupOrderModel& item) override;
  bool Remove(std::string uuid) override;
  // Deletes every row; the table stays, so that the other servers sharing
  // it go on working. False (after a line) when that fails.
  bool Clear() override;

  // The rows whose uuid is one of `ids`, in no particular order; nullopt
  // (after a line) when they cannot be read.
  std::optional<GroupOrderItems> ReadItems(const std::vector<std::string>& ids);

 private:
  // Runs `statement`; on failure writes the line
  // "PostgresGroupTable::<operation> <message>" (when `operation` is not
  // null) and answers nullopt.
  std::optional<PostgresRows> Run(PostgresStatement& statement,
                                  const std::vector<std::string>& parameters,
                                  const char* operation);

  std::shared_ptr<PostgresSession> session_;
  PostgresStatement get_groups_;
  PostgresStatement get_all_;
  PostgresStatement read_all_;
  PostgresStatement last_order_;
  PostgresStatement last_group_order_;
  PostgresStatement get_;
  PostgresStatement get_listed_;
  PostgresStatement update_;
  PostgresStatement save_;
  PostgresStatement remove_;
  PostgresStatement clear_;
};

}  // namespace pga

#endif  // PGA_STORE_POSTGRES_GROUP_TABLE_H_
