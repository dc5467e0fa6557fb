// Two group_host processes on one PostgreSQL store while the server is
// stopped and started again under their load: every request answers, the
// only failure answer is the store failure, nothing acknowledged is lost,
// and both trees end equal to the table. Runs beside a server of its own
// (CTest starts it through scripts/with-postgres), which it stops.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host/shared_hosts_support.h"

namespace pga {

namespace fs = std::filesystem;
using namespace shared_hosts;

namespace {

constexpr int kRequests = 80;

struct Outcome {
  std::set<std::string> acknowledged;
  int store_failures = 0;
  std::vector<std::string> other_answers;
};

// Creates groups one by one under `parent`, each after the last one's reply.
void Load(HostProcess& host, const std::string& prefix, const std::string& parent,
          std::atomic<int>& answered, Outcome& outcome) {
  for (int i = 0; i < kRequests; ++i) {
    const std::string id = prefix + std::to_string(i);
    host.Send(CreateLine(id, parent));
    std::optional<std::string> reply = host.AwaitLine(IsReply, std::chrono::seconds(60));
    if (!reply) {
      outcome.other_answers.push_back("no reply for " + id);
      return;
    }
    if (Succeeded(*reply)) {
      outcome.acknowledged.insert(id);
    } else if (reply->find(R"("code":5000000,"message":"Internal Server Error")") !=
               std::string::npos) {
      ++outcome.store_failures;
    } else {
      outcome.other_answers.push_back(*reply);
    }
    ++answered;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TEST(StoreFaultTest, AServerStoppedAndStartedUnderLoadLosesNothingAcknowledged) {
  const char* ctl = std::getenv("PGA_TEST_POSTGRES_CTL");
  if (PostgresTestSchema::Server().empty() || ctl == nullptr) GTEST_SKIP() << "no test server";
  PostgresTestSchema schema;
  std::string pattern = (fs::temp_directory_path() / "store_fault_XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::string dir = pattern;
  const std::vector<std::string> args = {"--store", schema.conninfo(), "-"};
  {
    HostProcess a(PGA_GROUP_HOST, args, dir, "a.err");
    HostProcess b(PGA_GROUP_HOST, args, dir, "b.err");
    a.Send(CreateLine("p", ""));
    ASSERT_TRUE(a.AwaitLine(IsReply, std::chrono::seconds(10)).has_value());

    std::atomic<int> answered{0};
    Outcome at_a;
    Outcome at_b;
    std::thread load_a(Load, std::ref(a), "a", "p", std::ref(answered), std::ref(at_a));
    std::thread load_b(Load, std::ref(b), "b", "p", std::ref(answered), std::ref(at_b));
    while (answered < kRequests / 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(std::system((std::string(ctl) + " stop -m fast >/dev/null").c_str()), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(std::system((std::string(ctl) + " start >/dev/null").c_str()), 0);
    load_a.join();
    load_b.join();

    for (const Outcome* outcome : {&at_a, &at_b}) {
      EXPECT_TRUE(outcome->other_answers.empty()) << outcome->other_answers.front();
      EXPECT_EQ(static_cast<int>(outcome->acknowledged.size()) + outcome->store_failures,
                kRequests);
      // The server was away for a while: some requests met it so.
      EXPECT_GT(outcome->store_failures, 0);
    }
    std::set<std::string> stored;
    for (const auto& row : schema.Query("SELECT uuid FROM logical_table")) stored.insert(row[0]);
    for (const Outcome* outcome : {&at_a, &at_b}) {
      for (const std::string& id : outcome->acknowledged) EXPECT_EQ(stored.count(id), 1u) << id;
    }
    EXPECT_TRUE(SharedOrders(schema).empty());
    EXPECT_TRUE(ConvergesTo(a, schema));
    EXPECT_TRUE(ConvergesTo(b, schema));
    EXPECT_EQ(a.Wait(), 0);
    EXPECT_EQ(b.Wait(), 0);
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

}  // namespace

}  // namespace pga
