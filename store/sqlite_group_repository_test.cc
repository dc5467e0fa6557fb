#include "store/sqlite_group_repository.h"

#include <Poco/Data/DataException.h>
#include <Poco/Data/Session.h>
#include <Poco/Exception.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "store/temp_store_dir.h"

namespace pga {

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

// While open the store writes ahead into a log that other connections read
// through; closed, it leaves one ordinary file with every row in it, also
// when another connection still had the file open at that moment.
TEST_F(SqliteGroupRepositoryTest, LogsAheadWhileOpenAndLeavesOnePlainFile) {
  const Rows kJournal = {{"delete"}};
  {
    SqliteGroupRepository repository;
    EXPECT_EQ(TempStoreDir::Query("PRAGMA journal_mode"), Rows{{"wal"}});
    EXPECT_TRUE(repository.Save(0, GroupOrderModel("c1", "", "Door", "Channel", 1, 5)));
    EXPECT_TRUE(std::filesystem::exists("group.db-wal"));
    EXPECT_EQ(TempStoreDir::Query("SELECT uuid FROM logical_table"), Rows{{"c1"}});
  }
  EXPECT_FALSE(std::filesystem::exists("group.db-wal"));
  EXPECT_FALSE(std::filesystem::exists("group.db-shm"));
  EXPECT_EQ(TempStoreDir::Query("PRAGMA journal_mode"), kJournal);
  EXPECT_EQ(TempStoreDir::Query("SELECT uuid FROM logical_table"), Rows{{"c1"}});

  sqlite3* other = TempStoreDir::Open();
  {
    SqliteGroupRepository repository;
    EXPECT_TRUE(repository.Update(0, {GroupOrderModel("c1", "g", "", "", 4, 0)}));
    ASSERT_EQ(sqlite3_exec(other, "SELECT count(*) FROM logical_table", nullptr, nullptr, nullptr),
              SQLITE_OK);
  }
  sqlite3_close(other);
  EXPECT_FALSE(std::filesystem::exists("group.db-wal"));
  EXPECT_EQ(TempStoreDir::Query("SELECT uuid, parent_uuid, order_ FROM logical_table"),
            (Rows{{"c1", "g", "4"}}));
}

// A store that may only be read (opened so here; a write-protected file
// opens the same way) can neither log ahead nor gain the lookup indexes:
// it opens without a line all the same, answers every read, and only its
// writes fail, each with its own line.
TEST_F(SqliteGroupRepositoryTest, ReadOnlyStoreOpensSilentlyAndAnswersReads) {
  TempStoreDir::Query(
      "CREATE TABLE logical_table (uuid TEXT PRIMARY KEY NOT NULL,parent_uuid TEXT ,name "
      "VARCHAR(32),type TEXT,order_ INTEGER,created_time INTEGER);"
      "INSERT INTO logical_table VALUES('c1','','Door','Channel',1,5);"
      "INSERT INTO logical_table VALUES('g1','','Hall','Group',2,6);");
  testing::internal::CaptureStdout();
  std::string save_line;
  {
    SqliteGroupRepository repository("file:group.db?mode=ro", 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(repository.GetAll(0).size(), 2u);
    EXPECT_EQ(repository.GetLastOrder(0, "Group", ""), 2);
    EXPECT_EQ(repository.Get(0, "g1")->name, "Hall");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(repository.Save(0, GroupOrderModel("c2", "", "Gate", "Channel", 3, 7)));
    save_line = testing::internal::GetCapturedStdout();
  }
  EXPECT_EQ(save_line.rfind("LogicalGroupTable::Save ", 0), 0u) << save_line;
  const char* kIndexes = "SELECT name FROM sqlite_master WHERE type='index' AND sql IS NOT NULL";
  EXPECT_TRUE(TempStoreDir::Query(kIndexes).empty());
  EXPECT_EQ(TempStoreDir::Query("PRAGMA journal_mode"), Rows{{"delete"}});
}

// A write that fails for a reason of its own (a trigger refuses it, its
// table was dropped) is a line of its own and fails alone, also when it is
// the batch's first write and whether its statement ran before or not: the
// batch commits the rest.
TEST_F(SqliteGroupRepositoryTest, WritesThatFailAloneLeaveTheRestOfTheBatch) {
  const GroupOrderModel refused("x", "", "X", "Channel", 1, 1);
  const GroupOrderModel kept("y", "", "Y", "Channel", 2, 2);
  {
    SqliteGroupRepository repository;
    TempStoreDir::Query(
        "CREATE TRIGGER refuse BEFORE INSERT ON logical_table WHEN NEW.uuid = 'x' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(repository.RunBatch([&] {
      EXPECT_FALSE(repository.Save(0, refused));
      EXPECT_TRUE(repository.Save(0, kept));
    }));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("LogicalGroupTable::Save ", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_EQ(TempStoreDir::Query("SELECT uuid FROM logical_table"), (Rows{{"y"}}));
  }
  SqliteGroupRepository repository;
  repository.Clear();
  // The update statement never ran before the drop, then ran and failed.
  for (int round = 0; round < 2; ++round) {
    testing::internal::CaptureStdout();
    EXPECT_TRUE(repository.Update(0, {kept})) << round;
    EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("LogicalGroupTable::Update ", 0), 0u);
  }
}

// A reader that holds the file when the store opens keeps it in SQLite's
// default journal, where a commit needs every reader gone: one that cannot
// get its lock is rolled back whole, and the next batch works.
TEST_F(SqliteGroupRepositoryTest, RefusedCommitIsRolledBackWhole) {
  { SqliteGroupRepository make_table; }
  const char* kRows = "SELECT uuid, order_ FROM logical_table ORDER BY uuid";
  sqlite3* reader = TempStoreDir::Open();
  ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT * FROM logical_table;", nullptr, nullptr, nullptr),
            SQLITE_OK);
  testing::internal::CaptureStderr();
  SqliteGroupRepository repository("group.db", 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "SqliteGroupRepository::UseWriteAheadLog database is locked: the default journal "
            "stays until the next start\n");

  testing::internal::CaptureStdout();
  EXPECT_FALSE(repository.RunBatch([&] {
    EXPECT_TRUE(repository.Save(0, GroupOrderModel("a", "", "A", "Channel", 1, 1)));
    EXPECT_TRUE(repository.Save(0, GroupOrderModel("b", "", "B", "Channel", 2, 2)));
  }));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("SqliteGroupRepository::RunBatch ", 0), 0u) << out;
  EXPECT_NE(out.find("locked"), std::string::npos) << out;
  sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(reader);
  EXPECT_EQ(TempStoreDir::Query(kRows), Rows{});
  EXPECT_TRUE(repository.RunBatch(
      [&] { repository.Save(0, GroupOrderModel("b", "", "B", "Channel", 2, 2)); }));
  EXPECT_EQ(TempStoreDir::Query(kRows), (Rows{{"b", "2"}}));
}

// Another connection keeps the write lock: a batch waits for it once, not
// once per write, and keeps nothing instead of committing an empty
// transaction as if every write had been made.
TEST_F(SqliteGroupRepositoryTest, BatchThatCannotTakeTheWriteLockWaitsOnceAndKeepsNothing) {
  SqliteGroupRepository repository("group.db", 1);
  sqlite3* writer = TempStoreDir::Open();
  ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  GroupOrderItems moves;
  for (int i = 0; i < 30; ++i) {
    moves.emplace_back("c" + std::to_string(i), "", "", "Channel", i, 0);
  }
  testing::internal::CaptureStdout();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(repository.RunBatch([&] {
    for (const GroupOrderModel& item : moves) repository.Save(0, item);
  }));
  EXPECT_FALSE(repository.Update(0, moves));
  // Two batches of a one-second wait each, not thirty.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("SqliteGroupRepository::RunBatch a write could not take the write lock"),
            std::string::npos)
      << out;
  sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(writer);
  EXPECT_EQ(TempStoreDir::Query("SELECT count(*) FROM logical_table"), (Rows{{"0"}}));
  EXPECT_TRUE(repository.Save(0, moves[0]));
}

TEST_F(SqliteGroupRepositoryTest, BatchEndedByAFailedWriteSkipsTheRest) {
  SqliteGroupRepository repository;
  repository.Save(0, GroupOrderModel("a", "", "A", "Channel", 1, 1));
  // A failure that makes SQLite roll the whole transaction back itself, as
  // a full disk does.
  TempStoreDir::Query(
      "CREATE TRIGGER give_up BEFORE DELETE ON logical_table WHEN OLD.uuid = 'a' "
      "BEGIN SELECT RAISE(ROLLBACK, 'gave up'); END");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(repository.RunBatch([&] {
    EXPECT_TRUE(repository.Save(0, GroupOrderModel("b", "", "B", "Channel", 2, 2)));
    EXPECT_FALSE(repository.Remove(0, "a"));
    EXPECT_FALSE(repository.Save(0, GroupOrderModel("c", "", "C", "Channel", 3, 3)));
    EXPECT_FALSE(repository.Update(0, {GroupOrderModel("a", "g", "", "", 5, 0)}));
  }));
  std::istringstream lines(testing::internal::GetCapturedStdout());
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line.rfind("LogicalGroupTable::Remove ", 0), 0u) << line;
  EXPECT_NE(line.find("gave up"), std::string::npos) << line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line, "SqliteGroupRepository::RunBatch transaction ended by a failed write");
  EXPECT_FALSE(std::getline(lines, line)) << line;
  EXPECT_EQ(TempStoreDir::Query("SELECT uuid, order_ FROM logical_table"), (Rows{{"a", "1"}}));

  // Nothing is left open: the next batch, and Update's own, work.
  TempStoreDir::Query("DROP TRIGGER give_up");
  EXPECT_TRUE(repository.RunBatch([&] { repository.Remove(0, "a"); }));
  EXPECT_TRUE(repository.Update(0, {}));
  EXPECT_TRUE(TempStoreDir::Query("SELECT uuid FROM logical_table").empty());
}

// The refusals under an unknown key are answered in the end-to-end failures
// script; none of them may leave an empty table entry behind.
TEST_F(SqliteGroupRepositoryTest, UnknownTableKeysLeaveNoEntryBehind) {
  SqliteGroupRepository repository;
  const GroupOrderModel item("a", "", "A", "Channel", 1, 1);
  testing::internal::CaptureStdout();
  for (int32_t key : {3, -1}) {
    EXPECT_TRUE(repository.GetAll(key).empty());
    EXPECT_FALSE(repository.ReadAllItems(key, [](const StoredRow&) { ADD_FAILURE(); }));
    EXPECT_EQ(repository.GetLastOrder(key, "Group", ""), -1);
    EXPECT_EQ(repository.Get(key, "a"), nullptr);
    EXPECT_FALSE(repository.Update(key, {item}) || repository.Save(key, item) ||
                 repository.Remove(key, "a"));
  }
  EXPECT_NE(testing::internal::GetCapturedStdout().find(
                "SqliteGroupRepository::Save no table under key 3\n"),
            std::string::npos);
  EXPECT_TRUE(repository.SaveAll({item}));
  EXPECT_EQ(TempStoreDir::Query("SELECT uuid FROM logical_table"), (Rows{{"a"}}));
}

TEST_F(SqliteGroupRepositoryTest, ConnectorRegistrationsAreCounted) {
  ASSERT_FALSE(ConnectorRegistered());
  std::filesystem::create_directory("other");
  auto first = std::make_unique<SqliteGroupRepository>("other/group.db", 60);
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

// Each repository keeps the tree in memory and writes rows from it, so a
// second one on a served store (under any of its names) waits for the first
// to go, and gives up at its timeout.
TEST_F(SqliteGroupRepositoryTest, ASecondRepositoryOnAServedStoreWaitsForTheFirstToGo) {
  auto first = std::make_unique<SqliteGroupRepository>();
  ASSERT_TRUE(first->Save(0, GroupOrderModel("c1", "", "Door", "Channel", 1, 5)));
  std::filesystem::create_directory("elsewhere");
  std::filesystem::create_symlink(std::filesystem::current_path() / "group.db",
                                  "elsewhere/group.db");
  testing::internal::CaptureStdout();
  const auto begun = std::chrono::steady_clock::now();
  EXPECT_THROW(SqliteGroupRepository("elsewhere/group.db", 1),
               Poco::Data::ConnectionFailedException);
  EXPECT_GE(std::chrono::steady_clock::now() - begun, std::chrono::seconds(1));
  const std::string lines = testing::internal::GetCapturedStdout();
  const std::string directory = std::filesystem::current_path().string();
  EXPECT_EQ(lines, "SqliteGroupRepository::ClaimStore " + directory +
                       ": another component serves this store; waiting up to 1 s for it to "
                       "stop\nSqliteGroupRepository::ClaimStore " +
                       directory + ": another component still serves this store after 1 s\n");

  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    first.reset();
  });
  testing::internal::CaptureStdout();
  SqliteGroupRepository second("group.db", 20);
  EXPECT_NE(testing::internal::GetCapturedStdout().find(
                directory + ": the other component stopped; this one serves the store now\n"),
            std::string::npos);
  stopper.join();
  EXPECT_EQ(second.Get(0, "c1")->name, "Door");
}

TEST_F(SqliteGroupRepositoryTest, FailedOpenGivesTheRegistrationBack) {
  EXPECT_THROW(SqliteGroupRepository("no_such_dir/group.db", 1),
               Poco::Data::ConnectionFailedException);
  EXPECT_FALSE(ConnectorRegistered());
}

}  // namespace

}  // namespace pga
