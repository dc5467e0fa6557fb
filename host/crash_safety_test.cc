// Kills the reference host with SIGKILL at random moments while it applies a
// long script of changes, restarts it on the same data directory each time,
// and checks after every kill that the database is whole, that the tree
// loads, that every change whose reply was printed is stored, and that a
// batch (channels added, channels removed, a mapping request) is stored
// wholly or not at all. The own attribute file, rewritten at every start,
// must be whole too.
#include <signal.h>
#include <spawn.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/json.h"

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
  int status = 0;
};

class CrashSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "crash_safety_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    fs::create_directories(dir_ / "data");
    fs::create_directories(dir_ / "config");
    // Defaults make every start that finds no own attribute file write one.
    std::ofstream(dir_ / "config" / "GroupApplication_default_attribute.json")
        << "{\"Name\":\"GroupApplication\",\"Version\":\"0.0.0\",\"Attributes\":[]}";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Starts group_host on `script_lines`; after `kill_after` reply lines (a
  // negative count: never) waits `delay` and kills it with SIGKILL. Every
  // complete reply line printed before the end is counted.
  HostRun RunHost(const std::string& script_text, int kill_after, std::chrono::microseconds delay) {
    const fs::path script = dir_ / "script.jsonl";
    std::ofstream(script, std::ios::trunc) << script_text;
    int out[2];
    EXPECT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string data = (dir_ / "data").string();
    const std::string config = (dir_ / "config").string();
    const std::string script_path = script.string();
    std::vector<const char*> argv = {PGA_GROUP_HOST, "--data-dir", data.c_str(), "--config-dir",
                                     config.c_str(), script_path.c_str(), nullptr};
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, PGA_GROUP_HOST, &actions, nullptr,
                          const_cast<char* const*>(argv.data()), environ),
              0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);

    HostRun run;
    std::string pending;
    char buffer[65536];
    auto count_lines = [&] {
      for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
        if (pending.compare(0, 9, "{\"reply\":") == 0) ++run.replies;
        pending.erase(0, end + 1);
      }
    };
    while (!run.killed) {
      const ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      pending.append(buffer, static_cast<std::size_t>(n));
      count_lines();
      if (kill_after >= 0 && run.replies >= kill_after) {
        std::this_thread::sleep_for(delay);
        kill(pid, SIGKILL);
        run.killed = true;
      }
    }
    // Whatever was printed before the kill is still in the pipe.
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) {
      pending.append(buffer, static_cast<std::size_t>(n));
    }
    count_lines();
    close(out[0]);
    waitpid(pid, &run.status, 0);
    return run;
  }

  // The stored tree; "integrity" receives PRAGMA integrity_check's answer.
  Tree Stored(std::string& integrity) const {
    Tree tree;
    sqlite3* db = nullptr;
    const std::string path = (dir_ / "data" / "group.db").string();
    if (!fs::exists(path)) {
      integrity = "ok";
      return tree;
    }
    // Read-write, as the host opens it: a hot journal left by the kill is
    // rolled back by the first reader, which a read-only one cannot do.
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      integrity = std::string("cannot open: ") + sqlite3_errmsg(db);
      sqlite3_close(db);
      return tree;
    }
    auto collect = [](void* out, int, char** values, char**) {
      *static_cast<std::string*>(out) += values[0] ? values[0] : "";
      return 0;
    };
    char* error = nullptr;
    if (sqlite3_exec(db, "PRAGMA integrity_check", collect, &integrity, &error) != SQLITE_OK) {
      integrity = std::string("integrity_check failed: ") + (error ? error : "");
      sqlite3_free(error);
    }
    sqlite3_stmt* rows = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT uuid, parent_uuid FROM logical_table", -1, &rows,
                           nullptr) == SQLITE_OK) {
      while (sqlite3_step(rows) == SQLITE_ROW) {
        const auto* uuid = sqlite3_column_text(rows, 0);
        const auto* parent = sqlite3_column_text(rows, 1);
        tree[uuid ? reinterpret_cast<const char*>(uuid) : ""] =
            parent ? reinterpret_cast<const char*>(parent) : "";
      }
    }
    sqlite3_finalize(rows);
    sqlite3_close(db);
    return tree;
  }

  // True when `group_host tree` on the data directory exits cleanly.
  bool TreeLoads() const {
    const std::string command = std::string(PGA_GROUP_HOST) + " tree --data-dir '" +
                                (dir_ / "data").string() + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
  }

  // The own attribute file is absent or one whole version of it.
  bool AttributeFileWhole() const {
    const fs::path own = dir_ / "data" / "GroupApplication_attribute_0.json";
    if (!fs::exists(own)) return true;
    std::ifstream in(own, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    rapidjson::Document doc;
    if (!pga_json::Parse(doc, text.str())) return false;
    const rapidjson::Value* name = pga_json::FindMember(doc, "Name");
    return name != nullptr && pga_json::GetString(*name) == "GroupApplication";
  }

  fs::path dir_;
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
        fs::remove(dir_ / "data" / file);
      }
      next = 0;
    }
    std::string text;
    for (std::size_t i = next; i < script.size(); ++i) text += script[i].line + "\n";
    // Every start finds no own attribute file and writes it, so kills also
    // land in the middle of that write.
    fs::remove(dir_ / "data" / "GroupApplication_attribute_0.json");
    const HostRun run = RunHost(text, replies_before_kill(random),
                            std::chrono::microseconds(delay_us(random)));
    const std::size_t acknowledged = next + static_cast<std::size_t>(run.replies);
    if (run.killed && WIFSIGNALED(run.status)) ++kills;

    std::string integrity;
    const Tree stored = Stored(integrity);
    ASSERT_EQ(integrity, "ok") << "after " << acknowledged << " commands";
    const bool before = stored == Expected(script, acknowledged);
    const bool after = stored == Expected(script, acknowledged + 1);
    ASSERT_TRUE(before || after) << "the store holds neither the state after command "
                                 << acknowledged << " nor the one after the next command";
    ASSERT_TRUE(TreeLoads());
    ASSERT_TRUE(AttributeFileWhole());
    if (!run.killed) {
      ASSERT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0);
      ASSERT_EQ(acknowledged, script.size());
    }
    next = acknowledged;
  }
  EXPECT_GE(kills, 20);
  std::printf("kills: %d\n", kills);
}

}  // namespace
