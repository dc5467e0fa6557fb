#include "store/logical_group_table.h"

#include <Poco/Data/SQLite/Connector.h>
#include <Poco/Data/SQLite/SQLiteException.h>
#include <Poco/Tuple.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <sstream>
#include <vector>

#include "doubles/fault_vfs.h"
#include "store/temp_store_dir.h"

namespace pga {

namespace {

using Rows = TempStoreDir::Rows;

constexpr char kSave[] =
    "INSERT OR REPLACE INTO logical_table (uuid, parent_uuid, name, type, order_, created_time) "
    "VALUES(?,?,?,?,?,?)";

class LogicalGroupTableTest : public testing::Test {
 protected:
  void SetUp() override { Poco::Data::SQLite::Connector::registerConnector(); }
  void TearDown() override { Poco::Data::SQLite::Connector::unregisterConnector(); }

  // A table on a fresh session; the table is created unless told otherwise.
  std::unique_ptr<LogicalGroupTable> MakeTable(bool create = true) {
    session_ = std::make_shared<Poco::Data::Session>("SQLite", "group.db", 60);
    auto table = std::make_unique<LogicalGroupTable>(session_);
    if (create) table->CreateTable();
    return table;
  }

  // The line the table must print when `sql` fails: the operation's name and
  // what the connector says when it runs `sql` afresh with `run` binding it.
  template <typename Run>
  std::string FreshFailure(const std::string& operation, Run run) {
    try {
      run(*session_);
    } catch (const Poco::Data::SQLite::SQLiteException& error) {
      return "LogicalGroupTable::" + operation + " " + error.displayText() + "\n";
    }
    return "no failure";
  }

  std::shared_ptr<Poco::Data::Session> session_;

  TempStoreDir dir_;
};

TEST_F(LogicalGroupTableTest, CreatesTableOnceWithItsColumns) {
  auto table = MakeTable();
  EXPECT_EQ(TempStoreDir::Query("SELECT sql FROM sqlite_master WHERE name='logical_table'"),
            (Rows{{"CREATE TABLE logical_table (uuid TEXT PRIMARY KEY NOT NULL,parent_uuid TEXT "
                   ",name VARCHAR(32),type TEXT,order_ INTEGER,created_time INTEGER)"}}));
  TempStoreDir::Query("INSERT INTO logical_table VALUES('g','', 'G', 'Group', 1, 2)");
  testing::internal::CaptureStdout();
  MakeTable();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(TempStoreDir::Query("SELECT * FROM logical_table"),
            (Rows{{"g", "", "G", "Group", "1", "2"}}));
}

TEST_F(LogicalGroupTableTest, FailuresPrintOneLineAndGiveNeutralResults) {
  auto table = MakeTable();
  table->Save(GroupOrderModel("c1", "", "Door", "Channel", 1, 11));
  EXPECT_TRUE(table->Clear());
  const GroupOrderModel item("c1", "", "Door", "Channel", 1, 11);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(table->GetGroups().empty());
  EXPECT_EQ(table->Get("c1"), nullptr);
  EXPECT_FALSE(table->Clear());
  std::istringstream lines(testing::internal::GetCapturedStdout());
  std::string line;
  // GetGroups fails silently; the others name themselves (the kept
  // statements' lines are checked word for word below).
  for (const char* name : {"Get", "Clear"}) {
    ASSERT_TRUE(std::getline(lines, line)) << name;
    EXPECT_EQ(line.rfind(std::string("LogicalGroupTable::") + name + " ", 0), 0u) << line;
    EXPECT_NE(line.find("no such table: logical_table"), std::string::npos) << line;
  }
  EXPECT_FALSE(std::getline(lines, line)) << line;

  table->CreateTable();
  EXPECT_TRUE(table->Save(item));
  EXPECT_EQ(table->GetAll().size(), 1u);
}

TEST_F(LogicalGroupTableTest, CreateTableFailureIsPrinted) {
  TempStoreDir::Query("CREATE TABLE other (x); CREATE INDEX logical_table ON other (x)");
  auto table = MakeTable(false);
  testing::internal::CaptureStdout();
  table->CreateTable();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("LogicalGroupTable::CreateTable ", 0), 0u) << out;
  EXPECT_NE(out.find("already an index named logical_table"), std::string::npos) << out;
  // That one line only: the lookup indexes are not attempted after it.
  EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
}

TEST_F(LogicalGroupTableTest, CreatesLookupIndexesOnceAndLeavesGroupScanInRowOrder) {
  // A database from before the indexes gains them when opened.
  TempStoreDir::Query(
      "CREATE TABLE logical_table (uuid TEXT PRIMARY KEY NOT NULL,parent_uuid TEXT ,name "
      "VARCHAR(32),type TEXT,order_ INTEGER,created_time INTEGER);"
      "INSERT INTO logical_table VALUES('g3','b','G3','Group',1,0);"
      "INSERT INTO logical_table VALUES('g1','a','G1','Group',5,0);"
      "INSERT INTO logical_table VALUES('g2','a','G2','Group',2,0);"
      "INSERT INTO logical_table VALUES('c1','a','C1','Channel',9,0);");
  testing::internal::CaptureStdout();
  auto table = MakeTable();
  MakeTable();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  const char* kIndexes =
      "SELECT name, sql FROM sqlite_master WHERE type='index' AND sql IS NOT NULL";
  const Rows indexes = {
      {"logical_table_parent_order",
       "CREATE INDEX logical_table_parent_order ON logical_table (parent_uuid, order_)"},
      {"logical_table_group_order",
       "CREATE INDEX logical_table_group_order ON logical_table (parent_uuid, order_) WHERE "
       "type='Group' AND parent_uuid IS NOT NULL"}};
  EXPECT_EQ(TempStoreDir::Query(kIndexes), indexes);
  EXPECT_EQ(TempStoreDir::Query("SELECT count(*) FROM logical_table"), (Rows{{"4"}}));

  // Both lookups of the last order are index searches...
  for (const char* type : {"Group", "Channel"}) {
    const std::string sql = std::string(
                                "EXPLAIN QUERY PLAN SELECT MAX(order_) FROM logical_table "
                                "WHERE parent_uuid = 'a'") +
                            (type == std::string("Group") ? " and type ='Group'" : "");
    const Rows plan = TempStoreDir::Query(sql);
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_NE(plan[0][3].find("SEARCH logical_table USING"), std::string::npos) << plan[0][3];
  }
  EXPECT_EQ(table->GetLastOrder("Group", "a"), 5);
  EXPECT_EQ(table->GetLastOrder("Channel", "a"), 9);
  // ...while the groups still come in the table's row order, not in the
  // order of an index on parent and order.
  std::vector<std::string> ids;
  for (const auto& group : table->GetGroups()) ids.push_back(*group->groupId);
  EXPECT_EQ(ids, (std::vector<std::string>{"g3", "g1", "g2"}));

  // Dropping the table drops its indexes; creating it again restores both.
  table->Clear();
  EXPECT_TRUE(TempStoreDir::Query(kIndexes).empty());
  table->CreateTable();
  EXPECT_EQ(TempStoreDir::Query(kIndexes), indexes);
}

TEST_F(LogicalGroupTableTest, KeptStatementsReportFailuresAsFreshOnesAndRecover) {
  auto table = MakeTable();
  const GroupOrderModel item("c1", "p", "Door", "Channel", 1, 11);
  // Every statement runs once, so that the kept ones are prepared and kept.
  ASSERT_TRUE(table->Save(item));
  ASSERT_TRUE(table->Update(item));
  ASSERT_EQ(table->GetLastOrder("Group", "p"), 0);
  ASSERT_EQ(table->GetLastOrder("Channel", "p"), 1);
  ASSERT_EQ(table->GetAll().size(), 1u);
  ASSERT_TRUE(table->Remove("c2"));
  // Kept statements hold no lock: the table can be dropped.
  ASSERT_TRUE(table->Clear());

  // The statements fail while being prepared, before anything is bound.
  using Poco::Data::Keywords::now;
  auto fresh = [this](const std::string& operation, const std::string& sql) {
    return FreshFailure(operation, [&](Poco::Data::Session& session) { session << sql, now; });
  };
  std::string expected =
      fresh("Save", kSave) +
      fresh("Update", "UPDATE logical_table SET order_= ?, parent_uuid = ? WHERE uuid = ?") +
      fresh("Remove", "DELETE FROM logical_table WHERE uuid = ?") +
      fresh("GetLastOrder",
            "SELECT MAX(order_) FROM logical_table WHERE parent_uuid = ? and type ='Group'") +
      fresh("GetAll", "SELECT * FROM logical_table ORDER BY order_ ASC");
  const std::string get_all = expected.substr(expected.rfind("LogicalGroupTable::GetAll "));
  testing::internal::CaptureStdout();
  EXPECT_FALSE(table->Save(item));
  EXPECT_FALSE(table->Update(item));
  EXPECT_FALSE(table->Remove("c1"));
  EXPECT_EQ(table->GetLastOrder("Group", "p"), -1);
  EXPECT_TRUE(table->GetAll().empty());
  std::size_t taken = 0;
  EXPECT_FALSE(table->ReadAllItems([&taken](const StoredRow&) { ++taken; }));
  EXPECT_EQ(taken, 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expected + get_all);

  // A statement that prepares but fails while running (a trigger refuses
  // one row) is worded as the connector words a failed run.
  table->CreateTable();
  TempStoreDir::Query(
      "CREATE TRIGGER refuse BEFORE INSERT ON logical_table WHEN NEW.uuid = 'c1' "
      "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  expected = FreshFailure("Save", [&](Poco::Data::Session& session) {
    std::string uuid = "c1", parent = "p", name = "Door", type = "Channel";
    int32_t order = 1;
    int64_t created = 11;
    using Poco::Data::Keywords::use;
    session << kSave, use(uuid), use(parent), use(name), use(type), use(order), use(created), now;
  });
  ASSERT_NE(expected.find("refused"), std::string::npos) << expected;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(table->Save(item));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
  EXPECT_TRUE(table->Save(GroupOrderModel("c2", "p", "Gate", "Channel", 2, 12)));
  EXPECT_EQ(table->GetLastOrder("Channel", "p"), 2);
}

TEST_F(LogicalGroupTableTest, ReadsOddRowsExactlyAsTheConnectorDoes) {
  auto table = MakeTable();
  // NULLs, a NUL byte inside a text, numbers kept as text or real, integers
  // beyond 32 bits, and negative times.
  TempStoreDir::Query(
      "INSERT INTO logical_table VALUES('n', NULL, NULL, NULL, NULL, NULL);"
      "INSERT INTO logical_table VALUES(CAST(X'610062' AS TEXT), 'p', 'x', 'Channel', '12abc', "
      "-5);"
      "INSERT INTO logical_table VALUES('r', 'p', 'y', 'Group', 3.7, 2.5);"
      "INSERT INTO logical_table VALUES('big', 'p', 'z', 'Group', 1099511627781, "
      "18446744073709551615);"
      "INSERT INTO logical_table VALUES('t', 'p', 'w', 'Channel', 'text', 'time');"
      "INSERT INTO logical_table VALUES('b', 'p', X'00ff', 'Channel', -2147483649, 7);");
  using Poco::Data::Keywords::into;
  using Poco::Data::Keywords::now;
  using Row = Poco::Tuple<std::string, std::string, std::string, std::string, int32_t, uint64_t>;
  auto select = [this](const std::string& order) {
    std::vector<Row> rows;
    *session_ << "SELECT * FROM logical_table ORDER BY " + order, into(rows), now;
    std::vector<std::string> texts;
    for (const Row& row : rows) {
      texts.push_back(row.get<0>() + "|" + row.get<1>() + "|" + row.get<2>() + "|" + row.get<3>() +
                      "|" + std::to_string(row.get<4>()) + "|" + std::to_string(row.get<5>()));
    }
    return texts;
  };
  const std::vector<std::string> expected = select("order_ ASC");
  auto describe = [](const GroupOrderModel& item) {
    return item.itemId + "|" + item.parentId.value_or("absent") + "|" + item.name + "|" +
           item.type + "|" + std::to_string(item.order) + "|" + std::to_string(item.createdTime);
  };
  std::vector<std::string> read;
  for (const auto& item : table->GetAll()) read.push_back(describe(*item));
  EXPECT_EQ(read, expected);
  // The same rows one at a time, as the table keeps them.
  read.clear();
  EXPECT_TRUE(table->ReadAllItems([&](const StoredRow& row) {
    GroupOrderModel item(std::string(row.itemId), std::string(row.parentId.value_or("absent")),
                         std::string(row.name), std::string(row.type), row.order, row.createdTime);
    read.push_back(describe(item));
  }));
  EXPECT_EQ(read, select("rowid ASC"));
}

// A read too large to sort in memory goes through SQLite's temporary files,
// which live apart from the store. With no room left for them, the store is
// still sound: every row is read, sorted in memory instead, with no line.
// The start's read sorts nothing and needs no temporary file.
TEST_F(LogicalGroupTableTest, ReadsEveryRowWhenTheTemporaryFilesMeetAFullDisk) {
  FaultVfs& disk = FaultVfs::Install();
  std::unique_ptr<LogicalGroupTable> table = MakeTable();
  // About 6 MB of rows: more than SQLite sorts in memory by default (2 MB).
  constexpr int kRows = 40000;
  TempStoreDir::Query(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
      std::to_string(kRows) +
      ") INSERT INTO logical_table SELECT printf('%08x-0000-4000-8000-%012d', (i * 2654435761) "
      "% 4294967296, i), 'g', 'Camera with a name of some length ' || i, 'Channel', i, i FROM n");
  disk.Arm({IoCall::kWrite, 1, SQLITE_FULL, true});
  std::set<std::string> ids;
  testing::internal::CaptureStdout();
  const bool read = table->ReadAllItems([&ids](const StoredRow& row) { ids.emplace(row.itemId); });
  const std::size_t failures_of_the_start = disk.failures();
  const GroupOrderModelList by_order = table->GetAll();
  const std::string printed = testing::internal::GetCapturedStdout();
  disk.Disarm();
  EXPECT_EQ(failures_of_the_start, 0u);
  EXPECT_GT(disk.failures(), 0u) << "the sort never met the full disk";
  EXPECT_TRUE(read);
  EXPECT_EQ(printed, "");
  ASSERT_EQ(by_order.size(), static_cast<std::size_t>(kRows));
  EXPECT_TRUE(std::is_sorted(by_order.begin(), by_order.end(),
                             [](const auto& a, const auto& b) { return a->order < b->order; }));
  EXPECT_EQ(ids.size(), static_cast<std::size_t>(kRows));
}

}  // namespace
}  // namespace pga
