#include "tools/postgres_store_access.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
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

constexpr char kTable[] =
    "CREATE TABLE logical_table (uuid text PRIMARY KEY, parent_uuid text, name text, type text, "
    "order_ integer, created_time bigint);";

// Stops the server process of the store's connection; its pid, or 0.
pid_t StopBackend(PostgresTestSchema& schema) {
  const Rows backends = schema.Query("SELECT pid FROM pg_stat_activity WHERE application_name = '" +
                                     schema.name() + "'");
  if (backends.size() != 1) return pid_t(0);
  const pid_t backend = std::stoi(backends[0][0]);
  return kill(backend, SIGSTOP) == 0 ? backend : pid_t(0);
}

// What `call` answers, once it has ended within 10 s; the stopped server
// runs again either way.
bool Bounded(std::future<bool>& call, pid_t backend) {
  const bool ended = call.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  kill(backend, SIGCONT);
  EXPECT_TRUE(ended) << "still waiting for a stopped server after 10 s";
  return call.get();
}

// A server process that stops (on a Unix socket, where no keep-alive would
// notice) neither answers a read nor takes the rows of an import: both are
// given up within the bound, and the import leaves the store as it was.
// Without the bound either waits for good; the watchdog then wakes the
// server and fails.
TEST(PostgresStoreAccessTest, AServerThatStopsIsGivenUpWithinTheBound) {
  if (PostgresTestSchema::Server().empty()) GTEST_SKIP() << "no test server";
  PostgresTestSchema schema;
  schema.Exec(std::string(kTable) +
              "INSERT INTO logical_table VALUES ('kept', '', 'Kept', 'Group', 1, 1)");
  const auto stop_backend = [&schema] { return StopBackend(schema); };
  const auto bounded = Bounded;

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

// Scan hands over the rows that Read gives, one at a time: by id in the
// same order, as kept the same rows; a server that stops while they flow
// is given up within the bound.
TEST(PostgresStoreAccessTest, ScanHandsOverTheRowsOfReadOneAtATime) {
  if (PostgresTestSchema::Server().empty()) GTEST_SKIP() << "no test server";
  PostgresTestSchema schema;
  schema.Exec(std::string(kTable) +
              "INSERT INTO logical_table SELECT md5(i::text), CASE WHEN i % 7 = 0 THEN NULL "
              "ELSE md5((i % 50)::text) END, CASE WHEN i % 11 = 0 THEN NULL ELSE 'Camera ' || i "
              "END, 'Channel', i, 1800000000000 + i FROM generate_series(1, 200000) i;"
              "UPDATE logical_table SET name = 'moved' WHERE order_ % 3 = 0");
  std::string error;
  PostgresStoreAccess store(std::chrono::milliseconds(1000));
  ASSERT_TRUE(store.Connect(schema.conninfo(), error)) << error;
  std::vector<StoreRow> read;
  ASSERT_TRUE(store.Read(read, error)) << error;
  ASSERT_EQ(read.size(), 200000u);
  for (bool by_id : {true, false}) {
    std::vector<StoreRow> scanned;
    ASSERT_TRUE(
        store.Scan([&scanned](const StoreRow& row) { scanned.push_back(row); }, by_id, error))
        << error;
    if (!by_id) {
      EXPECT_NE(scanned, read);
      std::sort(scanned.begin(), scanned.end(), [](const StoreRow& a, const StoreRow& b) {
        return a.item_id.bytes < b.item_id.bytes;
      });
    }
    EXPECT_EQ(scanned, read) << by_id;
  }

  // Stopped once the rows flow, by the scan's own thread.
  std::atomic<pid_t> backend{0};
  std::size_t taken = 0;
  auto scan = std::async(std::launch::async, [&] {
    return store.Scan(
        [&](const StoreRow&) {
          if (++taken == 1) backend = StopBackend(schema);
        },
        false, error);
  });
  const bool ended = scan.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (backend != 0) kill(backend, SIGCONT);
  ASSERT_TRUE(ended) << "still waiting for a stopped server after 10 s";
  EXPECT_FALSE(scan.get());
  EXPECT_NE(backend, 0);
  EXPECT_LT(taken, read.size());
  EXPECT_NE(error.find("no answer from the server for 1 s"), std::string::npos) << error;
}

}  // namespace

}  // namespace pga
