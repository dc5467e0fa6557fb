// The SQLite table "logical_table" that stores the camera tree.
#ifndef PGA_GROUP_LOGICAL_GROUP_TABLE_H_
#define PGA_GROUP_LOGICAL_GROUP_TABLE_H_

#include <Poco/Data/Session.h>

#include <memory>
#include <string>

#include "group/i_group_table.h"

// IGroupTable over the table "logical_table" of a Poco Data session that the
// table shares with its repository. Each call prepares, runs and discards one
// statement. A failure of the SQLite connector (its SQLiteException and
// subclasses, nothing else) is written to standard output as the line
// "<operation> <displayText>" and becomes the operation's neutral result;
// every other exception passes to the caller. Not thread-safe.
class LogicalGroupTable : public IGroupTable {
 public:
  // Runs no statement. `session` must be open.
  explicit LogicalGroupTable(std::shared_ptr<Poco::Data::Session> session);

  void CreateTable() override;
  GroupModelList GetGroups() override;
  GroupOrderModelList GetAll() override;
  int32_t GetLastOrder(std::string type, std::string parent_id) override;
  std::shared_ptr<GroupOrderModel> Get(std::string uuid) override;
  bool Update(const GroupOrderModel& item) override;
  bool Save(const GroupOrderModel& item) override;
  bool Remove(std::string uuid) override;
  bool Clear() override;

 private:
  const std::string table_name_;
  std::shared_ptr<Poco::Data::Session> session_;
};

#endif  // PGA_GROUP_LOGICAL_GROUP_TABLE_H_
