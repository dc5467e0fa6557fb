#include "group/logical_group_table.h"

#include <Poco/Data/SQLite/Connector.h>
#include <gtest/gtest.h>

#include <sstream>

#include "group/temp_store_dir.h"

namespace {

using Rows = TempStoreDir::Rows;

class LogicalGroupTableTest : public testing::Test {
 protected:
  void SetUp() override { Poco::Data::SQLite::Connector::registerConnector(); }
  void TearDown() override { Poco::Data::SQLite::Connector::unregisterConnector(); }

  // A table on a fresh session; the table is created unless told otherwise.
  std::unique_ptr<LogicalGroupTable> MakeTable(bool create = true) {
    auto session = std::make_shared<Poco::Data::Session>("SQLite", "group.db", 60);
    auto table = std::make_unique<LogicalGroupTable>(session);
    if (create) table->CreateTable();
    return table;
  }

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

TEST_F(LogicalGroupTableTest, SavesAndReadsItemsBack) {
  auto table = MakeTable();
  GroupOrderModel item("c1", "", std::string(40, 'n'), "Channel", 3, UINT64_MAX);
  item.parentId.reset();
  ASSERT_TRUE(table->Save(item));
  EXPECT_EQ(TempStoreDir::Query("SELECT * FROM logical_table"),
            (Rows{{"c1", "", std::string(40, 'n'), "Channel", "3", "-1"}}));
  auto read = table->Get("c1");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->parentId, "");
  EXPECT_EQ(read->name, std::string(40, 'n'));
  EXPECT_EQ(read->createdTime, UINT64_MAX);

  ASSERT_TRUE(table->Save(GroupOrderModel("c1", "g1", "Door", "Channel", 5, 7)));
  TempStoreDir::Query("INSERT INTO logical_table VALUES('g1', NULL, NULL, 'Group', NULL, NULL)");
  EXPECT_EQ(TempStoreDir::Query("SELECT * FROM logical_table"),
            (Rows{{"c1", "g1", "Door", "Channel", "5", "7"},
                  {"g1", "<null>", "<null>", "Group", "<null>", "<null>"}}));
  // NULL columns read as empty texts and zeros.
  auto all = table->GetAll();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all.front()->itemId, "g1");
  EXPECT_EQ(all.front()->parentId, "");
  EXPECT_EQ(all.front()->name, "");
  EXPECT_EQ(all.front()->createdTime, 0u);
  EXPECT_EQ(all.back()->itemId, "c1");
  auto groups = table->GetGroups();
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups.front()->groupName, "");
  EXPECT_FALSE(groups.front()->parentId.has_value());

  auto missing = table->Get("nope");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->itemId, "");
  EXPECT_EQ(missing->parentId, "");
  EXPECT_EQ(missing->order, 0);
}

TEST_F(LogicalGroupTableTest, FindsLastOrderWithAndWithoutTypeFilter) {
  auto table = MakeTable();
  EXPECT_EQ(table->GetLastOrder("Group", "p"), 0);
  table->Save(GroupOrderModel("g1", "p", "", "Group", 1, 0));
  table->Save(GroupOrderModel("g4", "p", "", "Group", 4, 0));
  table->Save(GroupOrderModel("c9", "p", "", "Channel", 9, 0));
  table->Save(GroupOrderModel("x", "q", "", "Group", 20, 0));
  EXPECT_EQ(table->GetLastOrder("Group", "p"), 4);
  EXPECT_EQ(table->GetLastOrder("Channel", "p"), 9);
  EXPECT_EQ(table->GetLastOrder("group", "p"), 9);
  EXPECT_EQ(table->GetLastOrder("Group", ""), 0);
}

TEST_F(LogicalGroupTableTest, UpdatesAndRemovesOnlyTheNamedRow) {
  auto table = MakeTable();
  table->Save(GroupOrderModel("c1", "", "Door", "Channel", 1, 11));
  table->Save(GroupOrderModel("c2", "", "Gate", "Channel", 2, 12));
  GroupOrderModel move("c1", "g9", "ignored", "Group", 8, 99);
  EXPECT_TRUE(table->Update(move));
  move.itemId = "nope";
  EXPECT_TRUE(table->Update(move));
  EXPECT_TRUE(table->Remove("c2"));
  EXPECT_TRUE(table->Remove("nope"));
  EXPECT_EQ(TempStoreDir::Query("SELECT * FROM logical_table"),
            (Rows{{"c1", "g9", "Door", "Channel", "8", "11"}}));
}

TEST_F(LogicalGroupTableTest, FailuresPrintOneLineAndGiveNeutralResults) {
  auto table = MakeTable();
  table->Save(GroupOrderModel("c1", "", "Door", "Channel", 1, 11));
  EXPECT_TRUE(table->Clear());
  const GroupOrderModel item("c1", "", "Door", "Channel", 1, 11);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(table->GetAll().empty());
  EXPECT_TRUE(table->GetGroups().empty());
  EXPECT_EQ(table->GetLastOrder("Group", ""), -1);
  EXPECT_EQ(table->Get("c1"), nullptr);
  EXPECT_FALSE(table->Update(item));
  EXPECT_FALSE(table->Save(item));
  EXPECT_FALSE(table->Remove("c1"));
  EXPECT_FALSE(table->Clear());
  std::istringstream lines(testing::internal::GetCapturedStdout());
  std::string line;
  // GetGroups fails silently; every other operation names itself.
  for (const char* name : {"GetAll", "GetLastOrder", "Get", "Update", "Save", "Remove", "Clear"}) {
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
  EXPECT_EQ(out.back(), '\n');
}

}  // namespace
