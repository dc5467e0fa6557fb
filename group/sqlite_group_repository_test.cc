#include "group/sqlite_group_repository.h"

#include <Poco/Data/DataException.h>
#include <Poco/Data/Session.h>
#include <Poco/Exception.h>
#include <gtest/gtest.h>

#include "group/temp_store_dir.h"

namespace {

using Rows = TempStoreDir::Rows;

// True when Poco can open an SQLite session, that is, when the connector is
// registered.
bool ConnectorRegistered() {
  try {
    Poco::Data::Session probe("SQLite", "group.db", 1);
    return true;
  } catch (const Poco::NotFoundException&) {
    return false;
  }
}

class SqliteGroupRepositoryTest : public testing::Test {
 protected:
  TempStoreDir dir_;
};

TEST_F(SqliteGroupRepositoryTest, ReopensTheFileAndKeepsRows) {
  {
    SqliteGroupRepository repository;
    EXPECT_TRUE(repository.SaveAll({GroupOrderModel("c1", "", "Door", "Channel", 1, 5),
                                    GroupOrderModel("g1", "", "Hall", "Group", 2, 6)}));
  }
  SqliteGroupRepository reopened;
  auto all = reopened.GetAll(0);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all.front()->itemId, "c1");
  EXPECT_EQ(reopened.GetGroups(0).size(), 1u);
  EXPECT_EQ(reopened.GetLastOrder(0, "Group", ""), 2);
  EXPECT_EQ(reopened.Get(0, "g1")->name, "Hall");
}

TEST_F(SqliteGroupRepositoryTest, UpdatesABatchInOneTransaction) {
  SqliteGroupRepository repository;
  EXPECT_TRUE(repository.Update(0, {}));
  repository.Save(0, GroupOrderModel("a", "", "A", "Channel", 1, 1));
  repository.Save(0, GroupOrderModel("c", "", "C", "Channel", 3, 3));
  testing::internal::CaptureStdout();
  EXPECT_TRUE(repository.Update(
      0, {GroupOrderModel("a", "g", "", "", 7, 0), GroupOrderModel("b", "g", "", "", 8, 0),
          GroupOrderModel("c", "g", "", "", 9, 0)}));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(TempStoreDir::Query("SELECT uuid, parent_uuid, order_ FROM logical_table"),
            (Rows{{"a", "g", "7"}, {"c", "g", "9"}}));

  // Items that fail do not stop the batch, which still commits.
  repository.Clear();
  testing::internal::CaptureStdout();
  EXPECT_TRUE(repository.Update(0, {GroupOrderModel("a", "", "", "", 1, 0)}));
  EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("LogicalGroupTable::Update ", 0), 0u);
}

TEST_F(SqliteGroupRepositoryTest, RollsBackWhenTheCommitFails) {
  SqliteGroupRepository repository("group.db", 1);
  repository.Save(0, GroupOrderModel("a", "", "A", "Channel", 1, 1));
  // A reader of another connection keeps its lock: the commit cannot get the
  // exclusive lock within the one-second timeout.
  sqlite3* reader = TempStoreDir::Open();
  ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT * FROM logical_table;", nullptr, nullptr, nullptr),
            SQLITE_OK);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(repository.Update(0, {GroupOrderModel("a", "g", "", "", 5, 0)}));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("SqliteGroupRepository::Update ", 0), 0u) << out;
  EXPECT_NE(out.find("locked"), std::string::npos) << out;
  sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(reader);

  EXPECT_EQ(TempStoreDir::Query("SELECT parent_uuid, order_ FROM logical_table"),
            (Rows{{"", "1"}}));
  EXPECT_TRUE(repository.Update(0, {GroupOrderModel("a", "g", "", "", 6, 0)}));
  EXPECT_EQ(TempStoreDir::Query("SELECT parent_uuid, order_ FROM logical_table"),
            (Rows{{"g", "6"}}));
}

TEST_F(SqliteGroupRepositoryTest, ClearDropsTheTableAndAlwaysSucceeds) {
  SqliteGroupRepository repository;
  repository.Save(0, GroupOrderModel("a", "", "A", "Channel", 1, 1));
  EXPECT_TRUE(repository.Clear());
  EXPECT_TRUE(TempStoreDir::Query("SELECT name FROM sqlite_master").empty());
  testing::internal::CaptureStdout();
  EXPECT_TRUE(repository.Clear());
  EXPECT_TRUE(repository.GetAll(0).empty());
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("LogicalGroupTable::Clear ", 0), 0u) << out;
  EXPECT_NE(out.find("\nLogicalGroupTable::GetAll "), std::string::npos) << out;
}

TEST_F(SqliteGroupRepositoryTest, UnknownTableKeyGivesNeutralResults) {
  SqliteGroupRepository repository;
  const GroupOrderModel item("a", "", "A", "Channel", 1, 1);
  for (int pass = 0; pass < 2; ++pass) {
    testing::internal::CaptureStdout();
    EXPECT_TRUE(repository.GetGroups(3).empty());
    EXPECT_TRUE(repository.GetAll(-1).empty());
    EXPECT_EQ(repository.GetLastOrder(3, "Group", ""), -1);
    EXPECT_EQ(repository.Get(3, "a"), nullptr);
    EXPECT_FALSE(repository.Update(3, {item}));
    EXPECT_FALSE(repository.Save(3, item));
    EXPECT_FALSE(repository.Remove(3, "a"));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("SqliteGroupRepository::Save no table under key 3\n"), std::string::npos);
    // No empty entry was left behind: SaveAll still writes to one table only.
    EXPECT_TRUE(repository.SaveAll({item}));
  }
  EXPECT_EQ(TempStoreDir::Query("SELECT uuid FROM logical_table"), (Rows{{"a"}}));
}

TEST_F(SqliteGroupRepositoryTest, ConnectorRegistrationsAreCounted) {
  ASSERT_FALSE(ConnectorRegistered());
  auto first = std::make_unique<SqliteGroupRepository>();
  auto second = std::make_unique<SqliteGroupRepository>();
  first.reset();
  // Two registrations, one unregistration: still registered, and the
  // surviving repository keeps working on its open session.
  EXPECT_TRUE(ConnectorRegistered());
  EXPECT_TRUE(second->Save(0, GroupOrderModel("a", "", "A", "Channel", 1, 1)));
  second.reset();
  EXPECT_FALSE(ConnectorRegistered());
  SqliteGroupRepository third;
  EXPECT_EQ(third.Get(0, "a")->name, "A");
}

TEST_F(SqliteGroupRepositoryTest, FailedOpenGivesTheRegistrationBack) {
  EXPECT_THROW(SqliteGroupRepository("no_such_dir/group.db", 1),
               Poco::Data::ConnectionFailedException);
  EXPECT_FALSE(ConnectorRegistered());
}

}  // namespace
