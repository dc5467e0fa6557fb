// Two group_host processes on one PostgreSQL store: each prints the other's
// changes as notifications, creations under one parent at the same moment
// get unique orders, and both trees end equal to the table. Needs the test
// server of scripts/with-postgres.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "host/shared_hosts_support.h"
#include "store/temp_store_dir.h"

namespace pga {

namespace fs = std::filesystem;
using namespace shared_hosts;

namespace {

using std::chrono::seconds;

std::vector<std::string> ScriptLines(const std::string& name) {
  std::ifstream in(fs::path(PGA_HOST_TESTDATA) / name);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class SharedHostsTest : public testing::Test {
 protected:
  void SetUp() override {
    if (PostgresTestSchema::Server().empty()) GTEST_SKIP() << "no test server";
    schema_ = std::make_unique<PostgresTestSchema>();
  }

  std::unique_ptr<HostProcess> Start(const std::string& name) {
    auto host = std::make_unique<HostProcess>(
        PGA_GROUP_HOST, std::vector<std::string>{"--store", schema_->conninfo(), "-"}, ".",
        name + ".err");
    EXPECT_TRUE(host->started());
    return host;
  }

  // A started host that has answered once. A host follows the store from
  // the moment its component has started; what was changed before, it
  // loads and does not announce.
  std::unique_ptr<HostProcess> StartAnswered(const std::string& name) {
    std::unique_ptr<HostProcess> host = Start(name);
    host->Send(R"({"request": "GetLogicalList"})");
    EXPECT_TRUE(host->AwaitLine(IsReply, seconds(30)).has_value());
    return host;
  }

  // Sends `command` to `from`; answers the notifications it printed for it
  // (masked) and checks its reply.
  std::vector<std::string> Run(HostProcess& from, const std::string& command) {
    from.Send(command);
    std::vector<std::string> notes;
    for (;;) {
      std::optional<std::string> line = from.ReadLine(std::chrono::seconds(10));
      if (!line) {
        ADD_FAILURE() << "no reply to " << command;
        return notes;
      }
      if (IsReply(*line)) {
        EXPECT_EQ(line->find("\"result\""), std::string::npos) << *line;
        return notes;
      }
      if (IsNotification(*line)) notes.push_back(Masked(*line));
    }
  }

  // The next `count` notifications that `host` prints, masked.
  static std::vector<std::string> Next(HostProcess& host, std::size_t count) {
    std::vector<std::string> notes;
    while (notes.size() < count) {
      std::optional<std::string> line = host.AwaitLine(IsNotification, std::chrono::seconds(10));
      if (!line) break;
      notes.push_back(Masked(*line));
    }
    return notes;
  }

  TempStoreDir dir_;  // the current directory while the test runs
  std::unique_ptr<PostgresTestSchema> schema_;
};

TEST_F(SharedHostsTest, EachHostPrintsTheOthersChangesAndBothEndAsTheTable) {
  std::unique_ptr<HostProcess> a = StartAnswered("a");
  std::unique_ptr<HostProcess> b = StartAnswered("b");
  const std::vector<std::string> at_a = ScriptLines("two_hosts_a.jsonl");
  const std::vector<std::string> at_b = ScriptLines("two_hosts_b.jsonl");
  ASSERT_EQ(at_a.size(), at_b.size());

  // In turns: every change made on one host is printed by the other, the
  // same notifications in the same order.
  for (std::size_t i = 0; i < at_a.size(); ++i) {
    const std::vector<std::string> from_a = Run(*a, at_a[i]);
    EXPECT_FALSE(from_a.empty()) << at_a[i];
    EXPECT_EQ(Next(*b, from_a.size()), from_a) << at_a[i];
    const std::vector<std::string> from_b = Run(*b, at_b[i]);
    EXPECT_FALSE(from_b.empty()) << at_b[i];
    EXPECT_EQ(Next(*a, from_b.size()), from_b) << at_b[i];
  }

  // At the same moment: both create ten groups under one parent at once.
  constexpr int kEach = 10;
  const std::size_t a_seen = a->lines().size();
  const std::size_t b_seen = b->lines().size();
  for (int i = 0; i < kEach; ++i) {
    a->Send(CreateLine("a-" + std::to_string(i), "g-site"));
    b->Send(CreateLine("b-" + std::to_string(i), "g-site"));
  }
  for (HostProcess* host : {a.get(), b.get()}) {
    for (int i = 0; i < kEach; ++i) {
      std::optional<std::string> reply = host->AwaitLine(IsReply, std::chrono::seconds(20));
      ASSERT_TRUE(reply.has_value());
      EXPECT_TRUE(Succeeded(*reply)) << *reply;
    }
  }
  EXPECT_TRUE(SharedOrders(*schema_).empty());
  EXPECT_EQ(schema_->Query("SELECT count(*) FROM logical_table WHERE parent_uuid = 'g-site'"),
            PostgresTestSchema::Rows{{std::to_string(2 * kEach + 1)}});
  ASSERT_TRUE(ConvergesTo(*a, *schema_));
  ASSERT_TRUE(ConvergesTo(*b, *schema_));

  // Each host printed every change of the pair, its own and the other's.
  auto printed = [](const HostProcess& host, std::size_t from) {
    std::vector<std::string> notes;
    for (std::size_t i = from; i < host.lines().size(); ++i) {
      if (IsNotification(host.lines()[i])) notes.push_back(Masked(host.lines()[i]));
    }
    std::sort(notes.begin(), notes.end());
    return notes;
  };
  const std::vector<std::string> printed_by_a = printed(*a, a_seen);
  EXPECT_GE(printed_by_a.size(), 4u * kEach);
  EXPECT_EQ(printed_by_a, printed(*b, b_seen));
  EXPECT_EQ(a->Wait(), 0);
  EXPECT_EQ(b->Wait(), 0);
}

// A tree imported while the hosts run replaces the one they serve: each
// reads it again and prints the difference as notifications, the same on
// both, so that their listeners follow without asking again.
TEST_F(SharedHostsTest, ATreeImportedWhileTheHostsRunIsAnnouncedAsItsDifference) {
  std::unique_ptr<HostProcess> a = StartAnswered("a");
  std::unique_ptr<HostProcess> b = StartAnswered("b");
  std::size_t sent = Run(*a, CreateLine("g1", "")).size();
  sent += Run(*a, R"({"request": "ChannelsAdded", "channels": [)"
                  R"({"channelId": "c1", "channelName": "Cam 1", "createdTime": 1},)"
                  R"({"channelId": "c2", "channelName": "Cam 2", "createdTime": 2}]})")
              .size();
  ASSERT_EQ(Next(*b, sent).size(), sent);

  // g1 renamed, c1 moved into the new g9, c2 gone, c3 new.
  std::ofstream("tree.json")
      << R"({"formatVersion":1,"items":[)"
         R"({"itemId":"c1","parentId":"g9","name":"Cam 1","type":"Channel","order":1,"createdTime":1},)"
         R"({"itemId":"c3","parentId":"","name":"Cam 3","type":"Channel","order":3,"createdTime":3},)"
         R"({"itemId":"g1","parentId":"","name":"Lobby","type":"Group","order":1,"createdTime":5},)"
         R"({"itemId":"g9","parentId":"","name":"Yard","type":"Group","order":2,"createdTime":6}]})";
  HostProcess import(PGA_GROUP_HOST, {"--store", schema_->conninfo(), "import", "tree.json"}, ".",
                     "import.err");
  ASSERT_EQ(import.Wait(), 0);

  const std::vector<std::string> at_a = Next(*a, 5);
  EXPECT_EQ(Next(*b, 5), at_a);
  const std::vector<std::string> expected = {
      R"({"notification":{"eventType":"LogicalMappingDeleted","eventTimeMsec":T,"message":{"logicalItems":[{"itemId":"c2","type":"","order":-1}]}}})",
      R"({"notification":{"eventType":"LogicalGroupCreated","eventTimeMsec":T,"message":{"groups":[{"groupId":"g9","groupName":"Yard","createdTime":6}]}}})",
      R"({"notification":{"eventType":"LogicalMappingCreated","eventTimeMsec":T,"message":{"logicalItems":[{"itemId":"c3","type":"Channel","order":3},{"itemId":"g9","type":"Group","order":2}]}}})",
      R"({"notification":{"eventType":"LogicalGroupModified","eventTimeMsec":T,"message":{"groups":[{"groupId":"g1","groupName":"Lobby","createdTime":5}]}}})",
      R"({"notification":{"eventType":"LogicalMappingModified","eventTimeMsec":T,"message":{"logicalItems":[{"itemId":"c1","parentId":"g9","type":"Channel","order":1}]}}})"};
  EXPECT_EQ(at_a, expected);
  EXPECT_TRUE(ConvergesTo(*a, *schema_));
  EXPECT_TRUE(ConvergesTo(*b, *schema_));
  EXPECT_EQ(a->Wait(), 0);
  EXPECT_EQ(b->Wait(), 0);
}

}  // namespace

}  // namespace pga
