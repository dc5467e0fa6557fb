#include "tools/postgres_store_access.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "store/postgres_test_schema.h"

namespace pga {

namespace {

using Rows = PostgresTestSchema::Rows;

StoreRow Channel(const std::string& id) {
  StoreRow row;
  row.item_id = StoreValue::Text(id);
  row.parent_id = StoreValue::Text("");
  row.name = StoreValue::Text("Camera " + id);
  row.type = StoreValue::Text("Channel");
  row.order = StoreValue::Integer(1);
  row.created_time = StoreValue::Integer(17);
  return row;
}

// A server process that stops (on a Unix socket, where no keep-alive would
// notice) neither answers a read nor takes the rows of an import: both are
// given up within the bound, and the import leaves the store as it was.
// Without the bound either waits for good; the watchdog then wakes the
// server and fails.
TEST(PostgresStoreAccessTest, AServerThatStopsIsGivenUpWithinTheBound) {
  if (PostgresTestSchema::Server().empty()) GTEST_SKIP() << "no test server";
  PostgresTestSchema schema;
  schema.Exec(
      "CREATE TABLE logical_table (uuid text PRIMARY KEY, parent_uuid text, name text, type "
      "text, order_ integer, created_time bigint); INSERT INTO logical_table VALUES ('kept', '', "
      "'Kept', 'Group', 1, 1)");
  const auto stop_backend = [&schema] {
    const Rows backends = schema.Query(
        "SELECT pid FROM pg_stat_activity WHERE application_name = '" + schema.name() + "'");
    if (backends.size() != 1) return pid_t(0);
    const pid_t backend = std::stoi(backends[0][0]);
    return kill(backend, SIGSTOP) == 0 ? backend : pid_t(0);
  };
  const auto bounded = [](std::future<bool>& call, pid_t backend) {
    const bool ended = call.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    kill(backend, SIGCONT);
    EXPECT_TRUE(ended) << "still waiting for a stopped server after 10 s";
    return call.get();
  };

  std::string error;
  {
    PostgresStoreAccess store(std::chrono::milliseconds(1000));
    ASSERT_TRUE(store.Connect(schema.conninfo(), error)) << error;
    const pid_t backend = stop_backend();
    ASSERT_NE(backend, 0);
    std::vector<StoreRow> rows;
    auto read = std::async(std::launch::async, [&] { return store.Read(rows, error); });
    EXPECT_FALSE(bounded(read, backend));
    EXPECT_NE(error.find("no answer from the server for 1 s"), std::string::npos) << error;
  }
  {
    PostgresStoreAccess store(std::chrono::milliseconds(1000));
    ASSERT_TRUE(store.Connect(schema.conninfo(), error)) << error;
    // Far more rows than the connection's buffers hold; the server stops
    // once they have begun to flow.
    std::vector<StoreRow> rows;
    for (int i = 0; i < 300000; ++i) rows.push_back(Channel("c" + std::to_string(i)));
    pid_t backend = 0;
    auto replace = std::async(std::launch::async, [&] {
      return store.Replace(rows, error, [&](std::size_t) {
        if (backend == 0) backend = stop_backend();
      });
    });
    const bool ended = replace.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    kill(backend, SIGCONT);
    EXPECT_TRUE(ended) << "still waiting for a stopped server after 10 s";
    EXPECT_FALSE(replace.get());
    EXPECT_NE(backend, 0);
    EXPECT_NE(error.find("the server took nothing for 1 s"), std::string::npos) << error;
  }
  // The server ends the cut import's transaction once it runs again.
  EXPECT_EQ(schema.Query("SELECT uuid FROM logical_table"), (Rows{{"kept"}}));
}

}  // namespace

}  // namespace pga
