// Two group_host processes on one PostgreSQL store while the server is
// stopped and started again under their load: every request answers, the
// only failure answer is the store failure, nothing acknowledged is lost,
// and both trees end equal to the table. Runs beside a server of its own
// (CTest starts it through scripts/with-postgres), which it stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
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

std::string AddLine(const std::string& id) {
  return R"({"request": "ChannelsAdded", "channels": [{"channelId": ")" + id +
         R"(", "channelName": "cam", "createdTime": 1}]})";
}
std::string RemoveLine(const std::string& id) {
  return R"({"request": "ChannelsRemoved", "channelIds": [")" + id + "\"]}";
}

// How many of `host`'s notifications so far name `id`.
int Announced(const HostProcess& host, const std::string& id) {
  return static_cast<int>(std::count_if(host.lines().begin(), host.lines().end(), [&](auto& line) {
    return IsNotification(line) && line.find("\"" + id + "\"") != std::string::npos;
  }));
}

// Channel reports that arrive while the server is stopped for 5 s are kept
// in order and stored once it is back, with their notifications on both
// hosts; one still kept when a host stops is counted in a line.
TEST(StoreFaultTest, ChannelReportsSentWhileTheServerIsAwayAreStoredWhenItIsBack) {
  const char* ctl = std::getenv("PGA_TEST_POSTGRES_CTL");
  if (PostgresTestSchema::Server().empty() || ctl == nullptr) GTEST_SKIP() << "no test server";
  PostgresTestSchema schema;
  std::string pattern = (fs::temp_directory_path() / "store_outage_XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::string dir = pattern;
  const std::vector<std::string> args = {"--store", schema.conninfo(), "-"};
  {
    HostProcess a(PGA_GROUP_HOST, args, dir, "a.err");
    HostProcess b(PGA_GROUP_HOST, args, dir, "b.err");
    // Both hosts have read the tree before anything happens: a host that
    // starts while the server is away reads the tree whole when it is back,
    // and has nothing to announce of what it never had.
    for (HostProcess* host : {&a, &b}) {
      host->Send(R"({"request": "GetLogicalList"})");
      ASSERT_TRUE(host->AwaitLine(IsReply, std::chrono::seconds(60)).has_value());
    }
    constexpr int kBefore = 10;
    for (int i = 0; i < kBefore; ++i) {
      a.Send(AddLine("k" + std::to_string(i)));
      ASSERT_TRUE(a.AwaitLine(IsReply, std::chrono::seconds(10)).has_value());
    }
    EXPECT_EQ(std::system((std::string(ctl) + " stop -m fast >/dev/null").c_str()), 0);
    // For 5 s, a report every 100 ms, in turns: the first ones remove the
    // channels added before, the others add new ones.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::set<std::string> added;
    int sent = 0;
    for (; std::chrono::steady_clock::now() < until; ++sent) {
      HostProcess& host = sent % 2 ? b : a;
      const std::string id =
          sent < kBefore ? "k" + std::to_string(sent) : "o" + std::to_string(sent);
      host.Send(sent < kBefore ? RemoveLine(id) : AddLine(id));
      if (sent >= kBefore) added.insert(id);
      ASSERT_TRUE(host.AwaitLine(IsReply, std::chrono::seconds(10)).has_value());
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(std::system((std::string(ctl) + " start >/dev/null").c_str()), 0);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::set<std::string> stored;
    while (stored != added && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      stored.clear();
      for (const auto& row : schema.Query("SELECT uuid FROM logical_table")) stored.insert(row[0]);
    }
    EXPECT_EQ(stored, added);
    EXPECT_GT(sent, 30);
    EXPECT_TRUE(ConvergesTo(a, schema));
    EXPECT_TRUE(ConvergesTo(b, schema));
    // A host sends the notices of what it took in just after taking it in:
    // one more reply, a moment later, brings the last of them along.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (HostProcess* host : {&a, &b}) {
      host->Send(R"({"request": "GetLogicalList"})");
      ASSERT_TRUE(host->AwaitLine(IsReply, std::chrono::seconds(10)).has_value());
    }
    // On both hosts, each report announced once, after the creation of the
    // channels it removes.
    for (int i = 0; i < sent; ++i) {
      const std::string id = (i < kBefore ? "k" : "o") + std::to_string(i);
      for (HostProcess* host : {&a, &b}) {
        EXPECT_EQ(Announced(*host, id), i < kBefore ? 2 : 1) << id << (host == &a ? " on a" : " on b");
      }
    }

    // A report still kept when the host stops is counted.
    EXPECT_EQ(std::system((std::string(ctl) + " stop -m fast >/dev/null").c_str()), 0);
    a.Send(AddLine("late"));
    ASSERT_TRUE(a.AwaitLine(IsReply, std::chrono::seconds(10)).has_value());
    // (Its status is not looked at: Poco's connector never frees a
    // connection whose server is away, which LeakSanitizer reports.)
    EXPECT_NE(a.Wait(), -1);
    EXPECT_EQ(std::system((std::string(ctl) + " start >/dev/null").c_str()), 0);
    std::ifstream err(fs::path(dir) / "a.err");
    const std::string lines((std::istreambuf_iterator<char>(err)), {});
    EXPECT_NE(lines.find("GroupApplication::Stop 1 channel reports could not be stored"),
              std::string::npos);
    EXPECT_EQ(b.Wait(), 0);
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

}  // namespace

}  // namespace pga
