#include "group/logical_group_table.h"

#include <Poco/Data/SQLite/SQLiteException.h>
#include <Poco/Tuple.h>

#include <cstdio>
#include <utility>
#include <vector>

using Poco::Data::Keywords::into;
using Poco::Data::Keywords::now;
using Poco::Data::Keywords::use;

namespace {

// One row, columns in declaration order: uuid, parent_uuid, name, type,
// order_, created_time. NULL columns read as the tuple's defaults.
using Row = Poco::Tuple<std::string, std::string, std::string, std::string, int32_t, uint64_t>;

GroupOrderModel ItemFromRow(const Row& row) {
  return GroupOrderModel(row.get<0>(), row.get<1>(), row.get<2>(), row.get<3>(), row.get<4>(),
                         row.get<5>());
}

void PrintFailure(const char* operation, const Poco::Exception& error) {
  // displayText() carries the connector's class and SQLite's own message;
  // what() would give only the class name.
  std::printf("%s %s\n", operation, error.displayText().c_str());
}

}  // namespace

LogicalGroupTable::LogicalGroupTable(std::shared_ptr<Poco::Data::Session> session)
    : table_name_("logical_table"), session_(std::move(session)) {}

void LogicalGroupTable::CreateTable() {
  try {
    const std::string sql = "CREATE TABLE IF NOT EXISTS " + table_name_ + " (" +
                            "uuid TEXT PRIMARY KEY NOT NULL" + ",parent_uuid TEXT " +
                            ",name VARCHAR(32)" + ",type TEXT" + ",order_ INTEGER" +
                            ",created_time INTEGER" + ")";
    *session_ << sql, now;
  } catch (const Poco::Data::SQLite::SQLiteException& error) {
    PrintFailure("LogicalGroupTable::CreateTable", error);
  }
}

GroupModelList LogicalGroupTable::GetGroups() {
  GroupModelList groups;
  try {
    std::vector<Row> rows;
    *session_ << "SELECT * FROM " + table_name_ + " WHERE type='Group'", into(rows), now;
    for (const Row& row : rows) {
      groups.push_back(std::make_shared<GroupModel>(row.get<0>(), row.get<2>(), row.get<5>()));
    }
  } catch (const Poco::Data::SQLite::SQLiteException&) {
    // Reading the groups fails silently: the caller gets what was read.
  }
  return groups;
}

GroupOrderModelList LogicalGroupTable::GetAll() {
  GroupOrderModelList items;
  try {
    std::vector<Row> rows;
    *session_ << "SELECT * FROM " + table_name_ + " ORDER BY order_ ASC", into(rows), now;
    for (const Row& row : rows)
      items.push_back(std::make_shared<GroupOrderModel>(ItemFromRow(row)));
  } catch (const Poco::Data::SQLite::SQLiteException& error) {
    PrintFailure("LogicalGroupTable::GetAll", error);
  }
  return items;
}

int32_t LogicalGroupTable::GetLastOrder(std::string type, std::string parent_id) {
  try {
    std::string sql = "SELECT MAX(order_) FROM " + table_name_ + " WHERE parent_uuid = ?";
    if (type == kGroupType) sql += " and type ='Group'";
    // MAX over no rows is NULL, which reads as the default 0.
    int32_t last = 0;
    *session_ << sql, use(parent_id), into(last), now;
    return last;
  } catch (const Poco::Data::SQLite::SQLiteException& error) {
    PrintFailure("LogicalGroupTable::GetLastOrder", error);
    return -1;
  }
}

std::shared_ptr<GroupOrderModel> LogicalGroupTable::Get(std::string uuid) {
  try {
    Row row("", "", "", "", 0, 0);
    *session_ << "SELECT * FROM " + table_name_ + " WHERE uuid = ?", use(uuid), into(row), now;
    return std::make_shared<GroupOrderModel>(ItemFromRow(row));
  } catch (const Poco::Data::SQLite::SQLiteException& error) {
    PrintFailure("LogicalGroupTable::Get", error);
    return nullptr;
  }
}

bool LogicalGroupTable::Update(const GroupOrderModel& item) {
  try {
    int32_t order = item.order;
    std::string parent = item.ParentText();
    std::string uuid = item.itemId;
    *session_ << "UPDATE " + table_name_ + " SET order_= ?, parent_uuid = ? WHERE uuid = ?",
        use(order), use(parent), use(uuid), now;
    return true;
  } catch (const Poco::Data::SQLite::SQLiteException& error) {
    PrintFailure("LogicalGroupTable::Update", error);
    return false;
  }
}

bool LogicalGroupTable::Save(const GroupOrderModel& item) {
  try {
    std::string uuid = item.itemId;
    std::string parent = item.ParentText();
    std::string name = item.name;
    std::string type = item.type;
    int32_t order = item.order;
    // The column is read back as unsigned, so the bit pattern round-trips.
    int64_t created_time = static_cast<int64_t>(item.createdTime);
    *session_ << "INSERT OR REPLACE INTO " + table_name_ +
                     " (uuid, parent_uuid, name, type, order_, created_time) " +
                     "VALUES(?,?,?,?,?,?)",
        use(uuid), use(parent), use(name), use(type), use(order), use(created_time), now;
    return true;
  } catch (const Poco::Data::SQLite::SQLiteException& error) {
    PrintFailure("LogicalGroupTable::Save", error);
    return false;
  }
}

bool LogicalGroupTable::Remove(std::string uuid) {
  try {
    *session_ << "DELETE FROM " + table_name_ + " WHERE uuid = ?", use(uuid), now;
    return true;
  } catch (const Poco::Data::SQLite::SQLiteException& error) {
    PrintFailure("LogicalGroupTable::Remove", error);
    return false;
  }
}

bool LogicalGroupTable::Clear() {
  try {
    *session_ << "DROP TABLE " + table_name_, now;
    return true;
  } catch (const Poco::Data::SQLite::SQLiteException& error) {
    PrintFailure("LogicalGroupTable::Clear", error);
    return false;
  }
}
