// Kills the reference host with SIGKILL at random moments while it applies a
// long script of changes, restarts it on the same data directory each time,
// and checks after every kill that the database is whole, that the tree
// loads, that every change whose reply was printed is stored, and that a
// batch (channels added, channels removed, a mapping request) is stored
// wholly or not at all. The own attribute file, rewritten at every start,
// must be whole too.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/host_process.h"
#include "runtime/json.h"
#include "store/temp_store_dir.h"

namespace pga {

namespace fs = std::filesystem;

namespace {

constexpr int kGroups = 5;
constexpr int kBatches = 15;
constexpr int kChannelsPerBatch = 500;
constexpr int kMovedPerBatch = 10;
constexpr int kRemovedPerBatch = 100;

// The tree as uuid -> parent text, which is what the store keeps.
using Tree = std::map<std::string, std::string>;

std::string ChannelId(int batch, int index) {
  return "b" + std::to_string(batch) + "-" + std::to_string(index);
}
std::string GroupId(int group) { return "g" + std::to_string(group); }

// One script line and what it does to the tree.
struct Command {
  std::string line;
  void (*apply)(Tree&, int);
  int argument;
};

std::vector<Command> Script() {
  std::vector<Command> script;
  for (int g = 0; g < kGroups; ++g) {
    script.push_back({"{\"request\":\"CreateLogicalGroup\",\"group\":{\"groupId\":\"" + GroupId(g) +
                          "\",\"groupName\":\"Group " + std::to_string(g) + "\"}}",
                      [](Tree& tree, int group) { tree[GroupId(group)] = ""; }, g});
  }
  for (int b = 0; b < kBatches; ++b) {
    std::string added = "{\"request\":\"ChannelsAdded\",\"channels\":[";
    for (int i = 0; i < kChannelsPerBatch; ++i) {
      added += (i ? "," : "") + std::string("{\"channelId\":\"") + ChannelId(b, i) +
               "\",\"channelName\":\"Camera\",\"createdTime\":" + std::to_string(b * 1000 + i) + "}";
    }
    script.push_back({added + "]}",
                      [](Tree& tree, int batch) {
                        for (int i = 0; i < kChannelsPerBatch; ++i) tree[ChannelId(batch, i)] = "";
                      },
                      b});

    std::string moved = "{\"request\":\"ModifyLogicalMapping\",\"items\":[";
    for (int i = 0; i < kMovedPerBatch; ++i) {
      moved += (i ? "," : "") + std::string("{\"itemId\":\"") + ChannelId(b, i) +
               "\",\"parentId\":\"" + GroupId(b % kGroups) + "\",\"order\":" + std::to_string(i) +
               "}";
    }
    script.push_back({moved + "]}",
                      [](Tree& tree, int batch) {
                        for (int i = 0; i < kMovedPerBatch; ++i) {
                          tree[ChannelId(batch, i)] = GroupId(batch % kGroups);
                        }
                      },
                      b});

    std::string removed = "{\"request\":\"ChannelsRemoved\",\"channelIds\":[";
    for (int i = 0; i < kRemovedPerBatch; ++i) {
      removed += (i ? "," : "") + std::string("\"") + ChannelId(b, kMovedPerBatch + i) + "\"";
    }
    script.push_back({removed + "]}",
                      [](Tree& tree, int batch) {
                        for (int i = 0; i < kRemovedPerBatch; ++i) {
                          tree.erase(ChannelId(batch, kMovedPerBatch + i));
                        }
                      },
                      b});
  }
  return script;
}

// The tree after the first `count` commands.
Tree Expected(const std::vector<Command>& script, std::size_t count) {
  Tree tree;
  for (std::size_t i = 0; i < count && i < script.size(); ++i) {
    script[i].apply(tree, script[i].argument);
  }
  return tree;
}

// What a run printed, and how it ended.
struct HostRun {
  int replies = 0;
  bool killed = false;
  int status = 0;  // -1 when it did not exit (killed)
};

// Works in a directory of its own, which is also the data directory.
class CrashSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories("config");
    // Defaults make every start that finds no own attribute file write one.
    std::ofstream("config/GroupApplication_default_attribute.json")
        << "{\"Name\":\"GroupApplication\",\"Version\":\"0.0.0\",\"Attributes\":[]}";
  }

  // Starts group_host on `script_text`; after `kill_after` reply lines waits
  // `delay` and kills it with SIGKILL. Every complete reply line printed
  // before the end is counted.
  static HostRun RunHost(const std::string& script_text, int kill_after,
                         std::chrono::microseconds delay) {
    std::ofstream("script.jsonl", std::ios::trunc) << script_text;
    HostProcess host(PGA_GROUP_HOST, {"--data-dir", ".", "--config-dir", "config", "script.jsonl"},
                     ".", "host.err");
    auto is_reply = [](const std::string& line) { return line.rfind("{\"reply\":", 0) == 0; };
    HostRun run;
    for (int replies = 0; !run.killed && host.ReadLine(std::chrono::seconds(60));) {
      replies += is_reply(host.lines().back());
      if (replies >= kill_after) {
        std::this_thread::sleep_for(delay);
        host.Kill();
        run.killed = true;
      }
    }
    run.status = host.Wait();  // what was printed before the kill is still read
    run.replies =
        static_cast<int>(std::count_if(host.lines().begin(), host.lines().end(), is_reply));
    return run;
  }

  // The stored tree, after PRAGMA integrity_check answered "ok". Read-write,
  // as the host opens it: a hot journal left by the kill is rolled back by
  // the first reader, which a read-only one cannot do.
  static Tree Stored() {
    Tree tree;
    if (!fs::exists("group.db")) return tree;
    EXPECT_EQ(TempStoreDir::Query("PRAGMA integrity_check"), TempStoreDir::Rows{{"ok"}});
    for (const auto& row : TempStoreDir::Query("SELECT uuid, parent_uuid FROM logical_table")) {
      tree[row[0]] = row[1];
    }
    return tree;
  }

  // True when `group_host tree` on the data directory exits cleanly.
  static bool TreeLoads() {
    return std::system(
               (std::string(PGA_GROUP_HOST) + " tree --data-dir . >/dev/null 2>&1").c_str()) == 0;
  }

  // The own attribute file is absent or one whole version of it.
  static bool AttributeFileWhole() {
    const fs::path own = "GroupApplication_attribute_0.json";
    if (!fs::exists(own)) return true;
    std::ifstream in(own, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    rapidjson::Document doc;
    if (!pga_json::Parse(doc, text.str())) return false;
    const rapidjson::Value* name = pga_json::FindMember(doc, "Name");
    return name != nullptr && pga_json::GetString(*name) == "GroupApplication";
  }

  TempStoreDir dir_;  // the current directory while the test runs
};

TEST_F(CrashSafetyTest, KilledAtRandomTheStoreKeepsEveryAcknowledgedChangeAndWholeBatches) {
  const std::vector<Command> script = Script();
  const unsigned seed = std::random_device()();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> replies_before_kill(0, 2);
  std::uniform_int_distribution<int> delay_us(0, 4000);

  std::size_t next = 0;  // first command not acknowledged yet
  int kills = 0;
  for (int attempt = 0; attempt < 400 && (next < script.size() || kills < 20); ++attempt) {
    if (next >= script.size()) {
      // The whole script is stored: start over on an empty store.
      // With its journal and log: either would be applied to the new file.
      for (const char* file : {"group.db", "group.db-journal", "group.db-wal", "group.db-shm"}) {
        fs::remove(file);
      }
      next = 0;
    }
    std::string text;
    for (std::size_t i = next; i < script.size(); ++i) text += script[i].line + "\n";
    // Every start finds no own attribute file and writes it, so kills also
    // land in the middle of that write.
    fs::remove("GroupApplication_attribute_0.json");
    const HostRun run = RunHost(text, replies_before_kill(random),
                            std::chrono::microseconds(delay_us(random)));
    const std::size_t acknowledged = next + static_cast<std::size_t>(run.replies);
    if (run.killed && run.status == -1) ++kills;

    SCOPED_TRACE("after " + std::to_string(acknowledged) + " commands");
    const Tree stored = Stored();
    ASSERT_FALSE(HasFailure());
    const bool before = stored == Expected(script, acknowledged);
    const bool after = stored == Expected(script, acknowledged + 1);
    ASSERT_TRUE(before || after) << "the store holds neither the state after command "
                                 << acknowledged << " nor the one after the next command";
    ASSERT_TRUE(TreeLoads());
    ASSERT_TRUE(AttributeFileWhole());
    if (!run.killed) {
      ASSERT_EQ(run.status, 0);
      ASSERT_EQ(acknowledged, script.size());
    }
    next = acknowledged;
  }
  EXPECT_GE(kills, 20);
  std::printf("kills: %d\n", kills);
}

}  // namespace

}  // namespace pga
