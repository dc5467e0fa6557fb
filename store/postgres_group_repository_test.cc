// What only the PostgreSQL store does: choosing it, its change log, and a
// connection that goes away. Needs the test server of scripts/with-postgres.
#include "store/postgres_group_repository.h"

#include <Poco/Data/DataException.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "store/open_group_store.h"
#include "store/postgres_statement.h"
#include "store/postgres_test_schema.h"
#include "store/sqlite_group_repository.h"
#include "store/temp_store_dir.h"

namespace pga {

namespace {

using Rows = PostgresTestSchema::Rows;

GroupOrderModel Channel(const std::string& id, int32_t order = 1) {
  return GroupOrderModel(id, "", "name-" + id, kChannelType, order, 7);
}

// The value of `key` in a key=value connection string.
std::string ValueOf(const std::string& conninfo, const std::string& key) {
  std::istringstream words(conninfo);
  for (std::string word; words >> word;) {
    if (word.rfind(key + "=", 0) == 0) return word.substr(key.size() + 1);
  }
  return "";
}

class PostgresStoreTest : public testing::Test {
 protected:
  void SetUp() override {
    if (PostgresTestSchema::Server().empty()) GTEST_SKIP() << "no test server";
    schema_ = std::make_unique<PostgresTestSchema>();
  }
  void TearDown() override { unsetenv(kStoreVariable); }

  std::unique_ptr<PostgresTestSchema> schema_;
};

TEST_F(PostgresStoreTest, TheVariableChoosesTheStoreAndAnUnreachableOneThrowsAsAFileDoes) {
  TempStoreDir dir;
  unsetenv(kStoreVariable);
  EXPECT_NE(dynamic_cast<SqliteGroupRepository*>(OpenGroupStore().get()), nullptr);
  setenv(kStoreVariable, "", 1);
  EXPECT_NE(dynamic_cast<SqliteGroupRepository*>(OpenGroupStore().get()), nullptr);
  EXPECT_TRUE(std::filesystem::exists("group.db"));

  // A URI names the database as well as the key=value form does.
  const std::string server = PostgresTestSchema::Server();
  const std::string uri = "postgresql://" + ValueOf(server, "user") + "@/" +
                          ValueOf(server, "dbname") + "?host=" + ValueOf(server, "host") +
                          "&port=" + ValueOf(server, "port") + "&options=-csearch_path%3D" +
                          schema_->name();
  setenv(kStoreVariable, uri.c_str(), 1);
  {
    std::shared_ptr<IGroupRepository> shared = OpenGroupStore();
    ASSERT_NE(dynamic_cast<PostgresGroupRepository*>(shared.get()), nullptr);
    EXPECT_TRUE(shared->Save(0, Channel("c1")));
  }
  EXPECT_EQ(schema_->Query("SELECT uuid FROM logical_table"), Rows{{"c1"}});

  // A malformed string fails at once with libpq's reason, without what it
  // quoted of a password.
  testing::internal::CaptureStdout();
  setenv(kStoreVariable, "host=x password=my secret", 1);
  EXPECT_THROW(OpenGroupStore(), Poco::Data::ConnectionFailedException);
  // A server that does not answer is tried again, a line per attempt.
  const std::string away = "host=" + ValueOf(server, "host") + " port=1 user=pga";
  EXPECT_THROW(PostgresGroupRepository(away, std::chrono::hours(1), std::chrono::seconds(3)),
               Poco::Data::ConnectionFailedException);
  const std::string lines = testing::internal::GetCapturedStdout();
  EXPECT_NE(lines.find("invalid connection string: missing \"=\" after \"...\""), std::string::npos)
      << lines;
  EXPECT_EQ(lines.find("secret"), std::string::npos) << lines;
  EXPECT_NE(lines.find("cannot connect (attempt 2): "), std::string::npos) << lines;
  EXPECT_NE(lines.find("PostgresSession::Connect cannot connect: "), std::string::npos);
}

// A role that may only read and write the rows starts without a line once
// the tables exist; values with a backslash, a quote or blanks (a password
// may hold any) arrive as given.
TEST_F(PostgresStoreTest, ARoleWithoutCreateStartsQuietlyAndConnectionsCarryTheStringsNameOrOurs) {
  PostgresGroupRepository(schema_->conninfo()).Save(0, Channel("c1"));
  const std::string role = schema_->name() + "_rows";
  schema_->Exec("DROP ROLE IF EXISTS " + role + "; CREATE ROLE " + role + " LOGIN;" +
                " GRANT USAGE ON SCHEMA " + schema_->name() + " TO " + role + ";" +
                " GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA " + schema_->name() +
                " TO " + role + ";" + " GRANT USAGE ON ALL SEQUENCES IN SCHEMA " + schema_->name() +
                " TO " + role);
  testing::internal::CaptureStdout();
  {
    PostgresGroupRepository store(schema_->conninfo() + " user=" + role +
                                  R"( application_name='\'odd\\name  with blanks')");
    EXPECT_EQ(schema_->Query("SELECT count(*) FROM pg_stat_activity WHERE application_name = '" +
                             std::string(R"(''odd\name  with blanks)") + "'"),
              Rows{{"1"}});
    EXPECT_TRUE(store.RunBatch([&] { EXPECT_TRUE(store.Save(0, Channel("c2"))); }));
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(schema_->Query("SELECT count(*) FROM logical_table"), Rows{{"2"}});
  // Without a name of the string's own, the connections carry the
  // component's.
  const std::string unnamed =
      schema_->conninfo().substr(0, schema_->conninfo().rfind(" application_name="));
  {
    PostgresGroupRepository store(unnamed);
    EXPECT_NE(schema_->Query("SELECT count(*) FROM pg_stat_activity WHERE application_name = "
                             "'p_group_application'"),
              Rows{{"0"}});
  }
  schema_->Exec("DROP OWNED BY " + role + "; DROP ROLE " + role);
}

// Writers on two connections commit batches at the same time, some of which
// fail. A reader that follows the log meets every kept batch once, with
// its notices in order, and no failed one; a writer passes over its own.
TEST_F(PostgresStoreTest, TheLogHandsEveryKeptChangeToTheOthersOnceInCommitOrder) {
  PostgresGroupRepository reader(schema_->conninfo());
  schema_->Exec("ALTER TABLE logical_table ADD CONSTRAINT refuse CHECK (uuid NOT LIKE 'bad%')");
  IChangeLog& log = *reader.change_log();
  ASSERT_TRUE(log.StartAtEnd());
  constexpr int kBatches = 60;
  std::atomic<int> writing{2};
  std::map<std::string, std::vector<std::string>> kept;  // record -> notice kinds
  std::mutex kept_mutex;
  std::vector<LoggedChange> seen_by_writer;
  auto write = [&](int writer) {
    PostgresGroupRepository store(schema_->conninfo());
    IChangeLog& own = *store.change_log();
    own.StartAtEnd();
    for (int i = 0; i < kBatches; ++i) {
      const std::string id = (i % 4 == 3 ? "bad" : "ok") + std::to_string(writer * 1000 + i);
      // A name with a quote and a backslash, which the log's writer must
      // escape and its reader give back byte for byte.
      const std::string record = "{\"w\":" + std::to_string(writer) +
                                 ",\"i\":" + std::to_string(i) + R"(,"name":"q\"u\\o"})";
      const bool done = store.RunBatch([&] {
        store.Save(0, Channel(id));
        own.Append({{"First", record}, {"Second", record}});
      });
      EXPECT_EQ(done, i % 4 != 3);
      if (done) {
        std::lock_guard<std::mutex> lock(kept_mutex);
        kept[record] = {"First", "Second"};
      }
    }
    if (writer == 0) {
      while (writing > 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      if (auto tail = own.ReadNew()) seen_by_writer = tail->changes;
    }
    --writing;
  };
  std::thread first(write, 0);
  std::thread second(write, 1);
  std::map<std::string, std::vector<std::string>> seen;
  int duplicates = 0;
  int64_t last_seq = 0;
  for (bool done = false; !done;) {
    done = writing == 0;
    std::optional<LogTail> tail = log.ReadNew();
    ASSERT_TRUE(tail.has_value());
    ASSERT_FALSE(tail->lost);
    for (const LoggedChange& change : tail->changes) {
      EXPECT_GT(change.seq, last_seq);
      last_seq = change.seq;
      std::vector<std::string> kinds;
      for (const LoggedNotice& notice : change.notices) kinds.push_back(notice.kind);
      duplicates += seen.count(change.notices.front().record);
      seen[change.notices.front().record] = kinds;
      log.MarkApplied(change.seq);
    }
  }
  first.join();
  second.join();
  EXPECT_EQ(duplicates, 0);
  EXPECT_EQ(seen.size(), 2u * kBatches * 3 / 4);
  EXPECT_EQ(seen, kept);
  // The first writer read only the second one's changes.
  EXPECT_FALSE(seen_by_writer.empty());
  for (const LoggedChange& change : seen_by_writer) {
    EXPECT_NE(change.notices.front().record.find("\"w\":1"), std::string::npos);
  }
}

TEST_F(PostgresStoreTest, ChangesTrimmedBeforeTheyWereReadAreReportedLost) {
  PostgresGroupRepository reader(schema_->conninfo());
  PostgresGroupRepository writer(schema_->conninfo(), std::chrono::seconds(0));
  ASSERT_TRUE(reader.change_log()->StartAtEnd());
  ASSERT_TRUE(writer.RunBatch([&] {
    writer.Save(0, Channel("c1"));
    writer.change_log()->Append({{"LogicalMappingCreated", "{}"}});
  }));
  // Watching, the writer trims at once what is older than no time at all.
  writer.change_log()->Watch([] { return true; });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (schema_->Query("SELECT upto FROM logical_change_trim") == Rows{{"0"}} &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  writer.change_log()->StopWatching();
  EXPECT_EQ(schema_->Query("SELECT count(*) FROM logical_change_log"), Rows{{"0"}});
  std::optional<LogTail> tail = reader.change_log()->ReadNew();
  ASSERT_TRUE(tail.has_value());
  EXPECT_TRUE(tail->lost);
  ASSERT_TRUE(reader.change_log()->StartAtEnd());
  tail = reader.change_log()->ReadNew();
  EXPECT_FALSE(tail->lost);
  EXPECT_TRUE(tail->changes.empty());
}

TEST_F(PostgresStoreTest, ALostConnectionFailsItsBatchAndTheNextOneConnectsAgain) {
  PostgresGroupRepository store(schema_->conninfo());
  const char* kRows = "SELECT uuid FROM logical_table ORDER BY uuid";
  testing::internal::CaptureStdout();
  EXPECT_FALSE(store.RunBatch([&] {
    EXPECT_TRUE(store.Save(0, Channel("a")));
    EXPECT_EQ(schema_->Disconnect(), 1);
    EXPECT_FALSE(store.Save(0, Channel("b")));
    EXPECT_FALSE(store.Save(0, Channel("c")));
  }));
  EXPECT_TRUE(schema_->Query(kRows).empty());
  // Outside a batch the next statement connects again.
  EXPECT_TRUE(store.Save(0, Channel("d")));
  // A connection that went while nobody used it is noticed before the batch
  // begins, and made again: the batch does not fail for it.
  EXPECT_EQ(schema_->Disconnect(), 1);
  EXPECT_TRUE(store.RunBatch([&] { EXPECT_TRUE(store.Save(0, Channel("e"))); }));
  const std::string lines = testing::internal::GetCapturedStdout();
  EXPECT_NE(lines.find("PostgresGroupRepository::RunBatch "), std::string::npos) << lines;
  EXPECT_EQ(schema_->Query(kRows), (Rows{{"d"}, {"e"}}));
}

// A server process that stops answering (stopped, on a Unix socket where no
// keep-alive would notice) is given up within the store's bound: a batch
// that meets it before its start begins again on a new connection, one that
// meets it half way fails. Without the bound either would wait for good;
// the watchdog then wakes the process and fails.
TEST_F(PostgresStoreTest, AServerThatFallsSilentIsGivenUpWithinTheBound) {
  PostgresGroupRepository store(schema_->conninfo(), std::chrono::hours(1), std::chrono::seconds(0),
                                std::chrono::milliseconds(1000));
  const auto stop_backend = [&] {
    const Rows backends = schema_->Query(
        "SELECT pid FROM pg_stat_activity WHERE application_name = '" + schema_->name() + "'");
    if (backends.size() != 1) return pid_t(0);
    const pid_t backend = std::stoi(backends[0][0]);
    return kill(backend, SIGSTOP) == 0 ? backend : pid_t(0);
  };
  const auto run_bounded = [&](const std::function<void()>& writes) {
    auto batch = std::async(std::launch::async, [&] { return store.RunBatch(writes); });
    const bool bounded = batch.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    EXPECT_TRUE(bounded) << "the batch still waits for a silent server after 10 s";
    return batch;
  };
  ASSERT_TRUE(store.Save(0, Channel("a")));
  pid_t backend = stop_backend();
  ASSERT_NE(backend, 0);
  auto whole = run_bounded([&] { EXPECT_TRUE(store.Save(0, Channel("b"))); });
  kill(backend, SIGCONT);
  EXPECT_TRUE(whole.get());

  testing::internal::CaptureStdout();
  auto broken = run_bounded([&] {
    EXPECT_TRUE(store.Save(0, Channel("c")));
    backend = stop_backend();
    EXPECT_FALSE(store.Save(0, Channel("d")));
  });
  kill(backend, SIGCONT);
  EXPECT_FALSE(broken.get());
  const std::string lines = testing::internal::GetCapturedStdout();
  EXPECT_NE(lines.find("no answer from the server for 1 s"), std::string::npos) << lines;
  bool back = false;
  for (int tries = 0; tries < 100 && !back; ++tries) {
    back = store.Save(0, Channel("e"));
    if (!back) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(back);
  EXPECT_EQ(schema_->Query("SELECT uuid FROM logical_table ORDER BY uuid"),
            (Rows{{"a"}, {"b"}, {"e"}}));
}

// A statement read row by row that fails half way, or whose reader throws,
// hands over the rows before the failure and leaves the connection ready
// for the next statement.
TEST_F(PostgresStoreTest, ARowByRowReadThatFailsHalfWayLeavesTheConnectionReady) {
  PostgresSession session(schema_->conninfo(), 5);
  PostgresStatement divide(session, "SELECT 12 / (5 - x) FROM generate_series(1, 9) AS x");
  PostgresStatement one(session, "SELECT 1");
  std::vector<int64_t> read;
  auto take = [&read](const PostgresRows& row) { read.push_back(row.Int(0, 0)); };
  EXPECT_THROW(divide.RunEachRow({}, take), PostgresError);
  EXPECT_EQ(read, (std::vector<int64_t>{3, 4, 6, 12}));
  EXPECT_EQ(one.Run().Int(0, 0), 1);
  EXPECT_THROW(divide.RunEachRow({}, [](const PostgresRows&) { throw std::length_error("x"); }),
               std::length_error);
  // A statement prepared already is sent without waiting: it finds the
  // connection free only if the rows left behind were taken.
  read.clear();
  EXPECT_THROW(divide.RunEachRow({}, take), PostgresError);
  EXPECT_EQ(read, (std::vector<int64_t>{3, 4, 6, 12}));
  EXPECT_EQ(one.Run().Int(0, 0), 1);
}

}  // namespace

}  // namespace pga
