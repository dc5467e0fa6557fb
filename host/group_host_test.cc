// Runs the built group_host as a separate process. Its store verbs run on
// stores the component made, on stores damaged by hand (SQL in testdata/),
// and while a component in another process holds the store. The scripts of
// testdata/ run on both stores (SQLite, and the PostgreSQL test server of
// scripts/with-postgres when there is one), their standard output compared
// line by line with the expected files there; times are masked: every
// number after "eventTimeMsec" or "createdTime" reads "<time>".
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/host_process.h"
#include "host/shared_hosts_support.h"
#include "runtime/json.h"
#include "store/postgres_test_schema.h"
#include "store/temp_store_dir.h"

namespace pga {

namespace fs = std::filesystem;
using shared_hosts::CreateLine;
using shared_hosts::IsReply;
using shared_hosts::ListedItems;

namespace {

constexpr std::chrono::seconds kMinute(60);

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Mask(const std::string& line) {
  static const std::regex kTime(R"re("(eventTimeMsec|createdTime)":-?[0-9]+)re");
  return std::regex_replace(line, kTime, R"("$1":"<time>")");
}

// The diagnostics of a run with the times of its log lines and the data
// directory `dir` masked. The lines of the worker thread, which come at any
// moment, are left out.
std::string MaskDiagnostics(const std::string& err, const std::string& dir) {
  static const std::regex kStamp(R"(^\[[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}\])",
                                 std::regex::ECMAScript | std::regex::multiline);
  static const std::regex kWorker(R"(^.*GroupApplication::Run\(\) .*\n)",
                                  std::regex::ECMAScript | std::regex::multiline);
  std::string masked = std::regex_replace(std::regex_replace(err, kWorker, ""), kStamp, "[<time>]");
  for (std::size_t at; (at = masked.find(dir)) != std::string::npos;) {
    masked.replace(at, dir.size(), "<dir>");
  }
  return masked;
}

// The path of `program` on the PATH, or `program` itself.
std::string Which(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const fs::path candidate = fs::path(dir) / program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return program;
}

// The rows of `sql` on the database `path`, each row's columns joined by "|".
std::vector<std::string> Query(const fs::path& path, const char* sql) {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  auto add = [](void* out, int columns, char** values, char**) {
    std::string row;
    for (int i = 0; i < columns; ++i)
      row += (i ? "|" : "") + std::string(values[i] ? values[i] : "<null>");
    static_cast<std::vector<std::string>*>(out)->push_back(row);
    return 0;
  };
  char* error = nullptr;
  if (sqlite3_exec(db, sql, add, &rows, &error) != SQLITE_OK) rows = {error ? error : "failed"};
  sqlite3_free(error);
  sqlite3_close(db);
  return rows;
}

// A group_host whose component holds the store in "data" until it is
// waited for or killed: it reads its script from a pipe that stays open.
class LiveHost : public HostProcess {
 public:
  LiveHost() : HostProcess(PGA_GROUP_HOST, {"--data-dir", "data", "-"}, ".", "live.err") {}
};

class GroupHostTest : public ::testing::Test {
 protected:
  static fs::path Data(const std::string& name) { return fs::path(PGA_HOST_TESTDATA) / name; }

  // Runs group_host with `args` in the test's directory; standard input
  // comes from `input` when it is not empty.
  Result Run(const std::vector<std::string>& args, const std::string& input = "") const {
    return RunAs({}, args, input);
  }
  // As Run(), group_host started through the command `prefix`.
  Result RunAs(const std::vector<std::string>& prefix, const std::vector<std::string>& args,
               const std::string& input = "") const {
    std::string command;
    for (const std::string& word : prefix) command += Quote(word) + " ";
    command += Quote(PGA_GROUP_HOST);
    for (const std::string& arg : store_args_) command += " " + Quote(arg);
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " <" + (input.empty() ? std::string("/dev/null") : Quote(input)) + " >out 2>err";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile("out"), ReadFile("err")};
  }

  // Compares the masked lines of `out` with testdata/<name>.
  static void ExpectLines(const std::string& out, const std::string& name) {
    std::vector<std::string> masked = Lines(out);
    std::transform(masked.begin(), masked.end(), masked.begin(), Mask);
    EXPECT_EQ(masked, Lines(ReadFile(Data(name)))) << name;
  }

  // "data/group.db" made by the component from the demo script.
  void MakeDemoStore(const char* dir = "data") const {
    ASSERT_EQ(Run({"--data-dir", dir, "demo"}).status, 0);
  }
  // "data/group.db" made by SQLite from a script in testdata/.
  static void MakeStoreFromSql(const std::string& script) {
    fs::create_directories("data");
    sqlite3* db = nullptr;
    sqlite3_open("data/group.db", &db);
    ASSERT_EQ(sqlite3_exec(db, ReadFile(Data(script)).c_str(), nullptr, nullptr, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
  }
  std::string Export(const char* dir = "data") const {
    const Result result = Run({"--data-dir", dir, "export"});
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
  }

  TempStoreDir dir_;  // the current directory while the test runs
  // Given to every run before `args`: the store to use, if not group.db.
  std::vector<std::string> store_args_;
};
using StoreToolsTest = GroupHostTest;

TEST_F(StoreToolsTest, EveryVerbOnTheDemoStore) {
  MakeDemoStore();
  Result check = Run({"--data-dir", "data", "check", "--strict"});
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.out, "sound: 8 items, 0 problems, 0 warnings\n");
  EXPECT_EQ(Lines(Run({"--data-dir", "data", "tree"}).out).size(), 8u);

  const std::string exported = Export();
  EXPECT_EQ(Run({"--data-dir", "data", "export", "e.json"}).status, 0);
  EXPECT_EQ(ReadFile("e.json"), exported);
  EXPECT_EQ(Run({"--data-dir", "data", "import", "e.json"}).status, 0);
  EXPECT_EQ(Export(), exported);

  // The backup is one file in the default journal mode, and sound.
  const Result backup = Run({"--data-dir", "data", "backup", "b.db"});
  EXPECT_EQ(backup.status, 0) << backup.err;
  EXPECT_EQ(backup.err, "");  // no progress lines when standard error is not a terminal
  EXPECT_EQ(Query("b.db", "PRAGMA integrity_check"), std::vector<std::string>{"ok"});
  EXPECT_EQ(ReadFile("b.db").substr(18, 2), std::string("\x01\x01"));
  for (const auto& entry : fs::directory_iterator(".")) {
    EXPECT_NE(entry.path().filename().string().rfind(".b.db", 0), 0u) << "left over: " << entry;
  }

  // Restore brings back the backed-up tree over a changed one.
  EXPECT_EQ(Run({"--data-dir", "data", "import", Data("warnings_only.json").string()}).status, 0);
  EXPECT_NE(Export(), exported);
  const Result restore = Run({"--data-dir", "data", "restore", "b.db"});
  EXPECT_EQ(restore.status, 0) << restore.err;
  EXPECT_EQ(Export(), exported);

  const std::string help = Run({"--help"}).out;
  for (const char* verb : {"tree", "check", "backup", "restore", "export", "import", "demo"}) {
    EXPECT_NE(help.find(std::string("] ") + verb), std::string::npos) << verb;
  }
}

TEST_F(StoreToolsTest, DamagedStoresAreReportedAndNeverImportedOrRestored) {
  MakeStoreFromSql("damaged_store.sql");
  const std::string expected = ReadFile(Data("damaged_check.expected"));
  const Result check = Run({"--data-dir", "data", "check"});
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(check.out, expected);

  const Result json = Run({"--data-dir", "data", "check", "--json"});
  EXPECT_EQ(json.status, 1);
  rapidjson::Document doc;
  ASSERT_TRUE(pga_json::Parse(doc, json.out)) << json.out;
  const rapidjson::Value* findings = pga_json::FindMember(doc, "findings");
  ASSERT_TRUE(findings != nullptr && findings->IsArray());
  EXPECT_EQ(findings->Size() + 1, Lines(expected).size());
  EXPECT_EQ(pga_json::ToCompact((*findings)[6]),
            R"({"severity":"problem","kind":"orphan","items":["stale"],"hides":2,)"
            R"("message":"\"stale\" has the parent \"deleted-group\", which is not in the tree"})");

  // The damaged tree exports, but neither its export nor its backup goes
  // into a sound store; the refusal lists every problem.
  std::vector<std::string> problems;
  for (const std::string& line : Lines(expected)) {
    if (line.rfind("problem ", 0) == 0) problems.push_back(line);
  }
  ASSERT_EQ(Run({"--data-dir", "data", "export", "d.json"}).status, 0);
  ASSERT_EQ(Run({"--data-dir", "data", "backup", "d.db"}).status, 0);
  MakeDemoStore("sound");
  const std::string sound = Export("sound");
  for (const char* verb : {"import", "restore"}) {
    const Result refused =
        Run({"--data-dir", "sound", verb, std::string(verb) == "import" ? "d.json" : "d.db"});
    EXPECT_EQ(refused.status, 1) << verb;
    EXPECT_EQ(Lines(refused.out), problems) << verb;
    EXPECT_EQ(Lines(refused.err).size(), 1u) << refused.err;
    EXPECT_EQ(Export("sound"), sound) << verb;
  }

  // Warnings alone are allowed, unless --strict.
  EXPECT_EQ(Run({"--data-dir", "sound", "import", Data("warnings_only.json").string()}).status, 0);
  EXPECT_EQ(Run({"--data-dir", "sound", "check"}).status, 0);
  EXPECT_EQ(Run({"--data-dir", "sound", "check", "--strict"}).status, 1);

  // Damage below the tree: integrity_check's findings, and no backup.
  MakeDemoStore("broken");
  {
    std::fstream file("broken/group.db", std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(2 * 4096 + 4);
    file.write("\xff\xff\xff\xff\xff\xff\xff\xff", 8);
  }
  const Result broken = Run({"--data-dir", "broken", "check"});
  EXPECT_EQ(broken.status, 1) << broken.err;
  EXPECT_EQ(broken.out.rfind("problem integrity: ", 0), 0u) << broken.out;
  EXPECT_EQ(Run({"--data-dir", "broken", "backup", "x.db"}).status, 2);
  EXPECT_FALSE(fs::exists("x.db"));
  // What can be read is saved into a store of the component's own form.
  const Result salvaged = Run({"--data-dir", "broken", "backup", "--salvage", "x.db"});
  EXPECT_EQ(salvaged.status, 0) << salvaged.err;
  fs::create_directories("saved");
  fs::rename("x.db", "saved/group.db");
  EXPECT_EQ(Run({"--data-dir", "saved", "check"}).out, "sound: 8 items, 0 problems, 0 warnings\n");
}

TEST_F(StoreToolsTest, ForeignSchemasAreProblemsAndSalvageStepsOverDamage) {
  // What the component does not create changes what its writes do: a
  // trigger that wipes the tree, a view, an index, a table without its key.
  MakeDemoStore("foreign");
  sqlite3* db = nullptr;
  sqlite3_open("foreign/group.db", &db);
  ASSERT_EQ(sqlite3_exec(db,
                         "CREATE TRIGGER wipe AFTER INSERT ON logical_table BEGIN DELETE FROM "
                         "logical_table; END; CREATE VIEW v AS SELECT 1;"
                         "CREATE INDEX by_name ON logical_table (name)",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  fs::create_directories("data");
  sqlite3_open("data/group.db", &db);
  ASSERT_EQ(sqlite3_exec(db,
                         "CREATE TABLE logical_table (uuid TEXT, parent_uuid TEXT, name "
                         "VARCHAR(32), type TEXT, order_ INTEGER, created_time INTEGER);"
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
                         "i < 600) INSERT INTO logical_table SELECT 'c' || i, '', 'Camera ' || "
                         "i || printf('%.900c', '.'), 'Channel', i, 0 FROM n",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  for (const char* dir : {"foreign", "data"}) {
    const Result check = Run({"--data-dir", dir, "check"});
    EXPECT_EQ(check.status, 1) << dir;
    std::size_t schema = 0;
    for (const std::string& line : Lines(check.out))
      schema += line.rfind("problem schema: ", 0) == 0;
    EXPECT_EQ(schema, std::string(dir) == "foreign" ? 3u : 1u) << check.out;
    ASSERT_EQ(Run({"--data-dir", dir, "backup", std::string(dir) + ".db"}).status, 0);
  }
  MakeDemoStore("sound");
  const std::string sound = Export("sound");
  for (const char* copy : {"foreign.db", "data.db"}) {
    EXPECT_EQ(Run({"--data-dir", "sound", "restore", copy}).status, 1) << copy;
    EXPECT_EQ(Export("sound"), sound);
  }

  // A damaged page of the table (four rows of 600): nothing reads the
  // table whole, the salvage saves all but the rows around the damage.
  {
    std::fstream file("data/group.db", std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(99 * 4096);
    file.write("\xff\xff\xff\xff\xff\xff\xff\xff", 8);
  }
  EXPECT_NE(Run({"--data-dir", "data", "check"}).out.find("cannot read logical_table"),
            std::string::npos);
  const Result salvaged = Run({"--data-dir", "data", "backup", "--salvage", "s.db"});
  ASSERT_EQ(salvaged.status, 0) << salvaged.err;
  EXPECT_NE(salvaged.out.find("1 damaged part was stepped over"), std::string::npos)
      << salvaged.out;
  EXPECT_EQ(Query("s.db", "PRAGMA integrity_check"), std::vector<std::string>{"ok"});
  const int saved = std::stoi(Query("s.db", "SELECT count(*) FROM logical_table").front());
  EXPECT_GE(saved, 580);
  EXPECT_LT(saved, 600);
  fs::create_directories("saved");
  fs::rename("s.db", "saved/group.db");
  EXPECT_EQ(Run({"--data-dir", "saved", "check"}).status, 0);
}

TEST_F(StoreToolsTest, NewFilesKeepTheStoresModeAndKilledWritersLeaveNothingBehind) {
  MakeDemoStore();
  fs::permissions("data/group.db", fs::perms(0640));
  const std::string demo = Export();
  EXPECT_EQ(Run({"--data-dir", "data", "export", "e.json"}).status, 0);
  EXPECT_EQ(Run({"--data-dir", "data", "export", "e.json", "--force"}).status, 0);
  EXPECT_EQ(Run({"--data-dir", "data", "backup", "b.db"}).status, 0);
  EXPECT_EQ(Run({"--data-dir", "data", "backup", "--salvage", "s.db"}).status, 0);
  for (const char* file : {"e.json", "b.db", "s.db"}) {
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640)) << file;
  }

  // A document long enough to kill its import in the middle.
  constexpr int kItems = 60000;
  {
    std::ofstream big("big.json");
    big << "{\"formatVersion\":1,\"items\":[";
    for (int i = 0; i < kItems; ++i) {
      big << (i ? "," : "") << "\n{\"itemId\":\"c" << i
          << R"(","parentId":"","name":"Camera","type":"Channel","order":1,"createdTime":0})";
    }
    big << "\n]}\n";
  }
  ASSERT_EQ(Run({"--data-dir", "data", "import", "big.json"}).status, 0);
  ASSERT_EQ(Run({"--data-dir", "data", "backup", "big.db"}).status, 0);
  ASSERT_EQ(Run({"--data-dir", "data", "import", "e.json"}).status, 0);
  fs::permissions("data/group.db", fs::perms(0600));
  // Each writer is killed once its work shows in the data directory: the
  // rollback journal of import's transaction, the copy restore makes first.
  const struct {
    const char* verb;
    const char* file;
    const char* shows;
  } writers[] = {{"import", "big.json", "group.db-journal"},
                 {"restore", "big.db", ".group.db.tmp-"}};
  for (const auto& writer : writers) {
    bool seen = false;
    {
      HostProcess run(PGA_GROUP_HOST, {"--data-dir", "data", writer.verb, writer.file}, ".",
                      "killed.err");
      const auto deadline = std::chrono::steady_clock::now() + kMinute;
      while (!seen && std::chrono::steady_clock::now() < deadline) {
        for (const auto& entry : fs::directory_iterator("data")) {
          if (entry.path().filename().string().rfind(writer.shows, 0) != 0) continue;
          seen = true;
          if (writer.verb == std::string("restore")) {
            EXPECT_EQ(entry.status().permissions(), fs::perms(0600));
          }
        }
      }
      run.Kill();
    }
    EXPECT_TRUE(seen) << writer.verb;
    // Every verb works at once, the store as it was, and nothing is left.
    const Result check = Run({"--data-dir", "data", "check"});
    EXPECT_EQ(check.status, 0) << writer.verb << ": " << check.err;
    EXPECT_EQ(Export(), demo) << writer.verb;
    EXPECT_EQ(Run({"--data-dir", "data", "tree"}).status, 0);
    for (const auto& entry : fs::directory_iterator("data")) {
      EXPECT_EQ(entry.path().filename(), "group.db") << writer.verb;
    }
  }
}

TEST_F(StoreToolsTest, OddValuesSurviveExportImportExport) {
  MakeStoreFromSql("odd_values.sql");
  const char* kStored =
      "SELECT hex(uuid), typeof(uuid), hex(parent_uuid), typeof(parent_uuid), hex(name), "
      "typeof(name), type, order_, created_time, typeof(created_time) FROM logical_table "
      "ORDER BY uuid";
  const std::vector<std::string> stored = Query("data/group.db", kStored);
  ASSERT_EQ(stored.size(), 4u);
  EXPECT_EQ(Run({"--data-dir", "data", "check", "--strict"}).status, 0);
  // The expected export pins the format: a document written by an older
  // build must still import the same values.
  const std::string exported = Export();
  EXPECT_EQ(exported, ReadFile(Data("odd_values.json")));
  const Result import = Run({"--data-dir", "data", "import", Data("odd_values.json").string()});
  ASSERT_EQ(import.status, 0) << import.err;
  EXPECT_EQ(Export(), exported);
  EXPECT_EQ(Query("data/group.db", kStored), stored);
}

TEST_F(StoreToolsTest, RestoreAndImportRefuseWhileAComponentHoldsTheStore) {
  MakeDemoStore();
  const std::string demo = Export();
  ASSERT_EQ(Run({"--data-dir", "data", "backup", "b.db"}).status, 0);
  ASSERT_EQ(Run({"--data-dir", "data", "export", "e.json"}).status, 0);
  {
    LiveHost live;
    live.Send(CreateLine("live", ""));
    ASSERT_TRUE(live.AwaitLine(IsReply, kMinute).has_value());
    EXPECT_TRUE(fs::exists("data/group.db-wal"));
    for (const char* verb : {"restore", "import"}) {
      const Result refused =
          Run({"--data-dir", "data", verb, std::string(verb) == "restore" ? "b.db" : "e.json"});
      EXPECT_EQ(refused.status, 2) << verb;
      EXPECT_EQ(Lines(refused.err).size(), 1u) << refused.err;
      EXPECT_NE(refused.err.find("open; stop it first"), std::string::npos) << refused.err;
    }
    // The readers see the committed change through the log, read-only.
    EXPECT_NE(Export().find(R"("itemId":"live")"), std::string::npos);
    EXPECT_EQ(Run({"--data-dir", "data", "check"}).status, 0);
    ASSERT_EQ(Run({"--data-dir", "data", "backup", "live.db"}).status, 0);
    EXPECT_EQ(Query("live.db", "SELECT name FROM logical_table WHERE uuid='live'"),
              std::vector<std::string>{"Group live"});
    EXPECT_EQ(live.Wait(), 0);
  }
  EXPECT_NE(Export().find(R"("itemId":"live")"), std::string::npos);
  EXPECT_EQ(Run({"--data-dir", "data", "import", "e.json"}).status, 0);
  EXPECT_EQ(Export(), demo);

  // A component killed mid-run leaves its log: read through it, and
  // replaced by a restore.
  {
    LiveHost live;
    live.Send(CreateLine("crashed", ""));
    ASSERT_TRUE(live.AwaitLine(IsReply, kMinute).has_value());
    live.Kill();
  }
  ASSERT_TRUE(fs::exists("data/group.db-wal"));
  EXPECT_NE(Export().find(R"("itemId":"crashed")"), std::string::npos);
  EXPECT_EQ(Run({"--data-dir", "data", "restore", "b.db"}).status, 0);
  EXPECT_FALSE(fs::exists("data/group.db-wal"));
  EXPECT_FALSE(fs::exists("data/group.db-shm"));
  EXPECT_EQ(Export(), demo);
}

// A second host started on a served data directory (by an operator trying
// a script, say) would write rows from a tree that misses the first one's
// changes: it waits for the first to stop, and then serves the whole tree.
TEST_F(GroupHostTest, ASecondHostOnAServedStoreWaitsForTheFirstAndThenServesItsTree) {
  LiveHost first;
  first.Send(CreateLine("first", ""));
  ASSERT_TRUE(first.AwaitLine(IsReply, kMinute).has_value());
  HostProcess second(PGA_GROUP_HOST, {"--data-dir", "data", "-"}, ".", "second.err");
  second.Send(CreateLine("second", ""));
  second.Send(R"({"request": "GetLogicalList"})");
  // The plug-in's lines go to the host's standard error.
  std::string err;
  for (const auto until = std::chrono::steady_clock::now() + kMinute;
       err.find("ClaimStore") == std::string::npos && std::chrono::steady_clock::now() < until;
       std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
    err = ReadFile("second.err");
  }
  EXPECT_NE(err.find("another component serves this store; waiting up to 60 s"), std::string::npos)
      << err;
  // The first goes on alone meanwhile.
  first.Send(CreateLine("late", "first"));
  ASSERT_TRUE(first.AwaitLine(IsReply, kMinute).has_value());
  EXPECT_EQ(first.Wait(), 0);

  ASSERT_TRUE(second.AwaitLine(IsReply, kMinute).has_value());
  const auto list = second.AwaitLine(IsReply, kMinute);
  ASSERT_TRUE(list.has_value());
  EXPECT_EQ(ListedItems(*list),
            (std::vector<std::string>{"first||Group|1", "late|first|Group|1", "second||Group|2"}));
  EXPECT_EQ(second.Wait(), 0);
}

TEST_F(StoreToolsTest, BackupWhileAnotherProcessWritesHoldsWholeBatchesOnly) {
  constexpr int kBatches = 30;
  constexpr int kPerBatch = 200;
  fs::create_directories("data");
  LiveHost live;
  auto batch = [](int b) {
    std::string line = R"({"request":"ChannelsAdded","channels":[)";
    for (int i = 0; i < kPerBatch; ++i) {
      line += (i ? "," : "") + std::string(R"({"channelId":"b)") + std::to_string(b) + "-" +
              std::to_string(i) + R"(","channelName":"Camera","createdTime":)" +
              std::to_string(b * kPerBatch + i) + "}";
    }
    return line + "]}";
  };
  live.Send(batch(0));
  ASSERT_TRUE(live.AwaitLine(IsReply, kMinute).has_value());
  // Reading the output keeps the host going; `replied` once all are answered.
  std::atomic<bool> replied{false};
  std::thread reader([&] {
    for (int b = 1; b < kBatches && live.AwaitLine(IsReply, kMinute); ++b) {
    }
    replied = true;
  });
  std::thread writer([&] {
    for (int b = 1; b < kBatches; ++b) live.Send(batch(b));
  });
  int backups = 0;
  for (bool last = false; !last; ++backups) {
    last = replied;
    const Result backup =
        Run({"--data-dir", "data", "backup", "b" + std::to_string(backups) + ".db"});
    ASSERT_EQ(backup.status, 0) << backup.err;
  }
  writer.join();
  reader.join();
  EXPECT_EQ(live.Wait(), 0);

  int caught_midway = 0;
  for (int n = 0; n < backups; ++n) {
    const std::string file = "b" + std::to_string(n) + ".db";
    EXPECT_EQ(Query(file, "PRAGMA integrity_check"), std::vector<std::string>{"ok"}) << file;
    // Rows per batch, batches in the order they were sent: a prefix of
    // whole batches.
    const std::vector<std::string> per_batch =
        Query(file.c_str(),
              "SELECT CAST(substr(uuid, 2, instr(uuid, '-') - 2) AS INTEGER) AS b, count(*) FROM "
              "logical_table GROUP BY b ORDER BY b");
    for (std::size_t b = 0; b < per_batch.size(); ++b) {
      EXPECT_EQ(per_batch[b], std::to_string(b) + "|" + std::to_string(kPerBatch)) << file;
    }
    caught_midway += per_batch.size() > 0 && per_batch.size() < kBatches;
  }
  EXPECT_GT(caught_midway, 0) << backups << " backups, none while the batches were written";
}

TEST_F(StoreToolsTest, BadInputChangesNothingAndSaysWhyInOneLine) {
  MakeDemoStore();
  ASSERT_EQ(Run({"--data-dir", "data", "export", "e.json"}).status, 0);
  ASSERT_EQ(Run({"--data-dir", "data", "backup", "b.db"}).status, 0);
  std::string newer = ReadFile("e.json");
  newer.replace(newer.find("\"formatVersion\":1"), 17, "\"formatVersion\":2");
  std::ofstream("newer.json") << newer;
  std::ofstream("text.txt") << "not a database";
  sqlite3* plain = nullptr;  // a database, but not a store
  sqlite3_open("plain.db", &plain);
  sqlite3_exec(plain, "CREATE TABLE t(x)", nullptr, nullptr, nullptr);
  sqlite3_close(plain);
  fs::create_directories("empty");
  fs::create_directories("notdb");
  fs::copy_file("text.txt", "notdb/group.db");
  std::ofstream("huge.json").close();
  fs::resize_file("huge.json", (std::uintmax_t{1} << 30) + 1);  // sparse: no disk used
  // A document with a NUL byte and more after it; destinations that are
  // not regular files.
  std::ofstream("nul.json", std::ios::binary) << ReadFile("e.json") << std::string(1, '\0') << "{}";
  fs::create_symlink("e.json", "link.json");
  ASSERT_EQ(mkfifo("fifo", 0600), 0);

  const std::string store = ReadFile("data/group.db");
  // Each case: the arguments, " | ", a text the one line must hold.
  std::istringstream cases(ReadFile(Data("bad_tool_inputs.txt")));
  int count = 0;
  for (std::string line; std::getline(cases, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t bar = line.find(" | ");
    std::istringstream words(line.substr(0, bar));
    std::vector<std::string> args;
    for (std::string word; words >> word;) args.push_back(word);
    const std::string reason = line.substr(bar + 3);
    const Result result = Run(args);
    EXPECT_EQ(result.status, 2) << line;
    EXPECT_EQ(result.out, "") << line;
    ASSERT_EQ(Lines(result.err).size(), 1u) << line << ": " << result.err;
    EXPECT_NE(result.err.find(reason), std::string::npos) << line << ": " << result.err;
    ++count;
  }
  EXPECT_GT(count, 0) << "no cases read";
  EXPECT_EQ(ReadFile("data/group.db"), store);
  EXPECT_FALSE(fs::exists("nowhere"));
  EXPECT_TRUE(fs::is_empty("empty"));
  EXPECT_EQ(ReadFile("notdb/group.db"), "not a database");
  EXPECT_TRUE(fs::is_symlink("link.json"));
  EXPECT_TRUE(fs::is_fifo("fifo"));

  // check --json says why it could not check, as JSON.
  const Result json = Run({"--data-dir", "notdb", "check", "--json"});
  EXPECT_EQ(json.status, 2);
  rapidjson::Document doc;
  ASSERT_TRUE(pga_json::Parse(doc, json.out)) << json.out;
  const rapidjson::Value* reason = pga_json::FindMember(doc, "error");
  ASSERT_TRUE(reason != nullptr && reason->IsString()) << json.out;
  EXPECT_NE(pga_json::GetString(*reason).find("not a database"), std::string::npos);
  EXPECT_EQ(std::distance(fs::directory_iterator("data"), fs::directory_iterator()), 1);
}

// check, export and import on the shared store: the same documents,
// rules and statuses as on group.db, never a local group.db instead; a
// site moved from one to the other and back keeps every byte of its export.
TEST_F(StoreToolsTest, TheSharedStoreTakesTheSameVerbsAndMovesBothWays) {
  if (PostgresTestSchema::Server().empty()) GTEST_SKIP() << "no test server";
  PostgresTestSchema schema;
  MakeDemoStore();
  const std::string site = Export();
  std::ofstream("site.json") << site;
  // A stale group.db where the verbs run: never the store they work on.
  fs::copy_file("data/group.db", "group.db");
  const std::vector<std::string> shared = {"env", "PGA_STORE=" + schema.conninfo()};

  // tree on a database without the store's tables makes none.
  const Result no_tree = RunAs(shared, {"tree"});
  EXPECT_EQ(no_tree.status, 2);
  EXPECT_NE(no_tree.err.find("no table logical_table"), std::string::npos) << no_tree.err;
  EXPECT_EQ(RunAs(shared, {"check"}).status, 2);

  // The component makes the shared store's tables; a server follows it.
  ASSERT_EQ(Run({"--store", schema.conninfo(), "--data-dir", "data", "-"}).status, 0);
  EXPECT_EQ(RunAs(shared, {"check"}).out, "sound: 0 items, 0 problems, 0 warnings\n");
  HostProcess live(PGA_GROUP_HOST, {"--store", schema.conninfo(), "--data-dir", "data", "-"}, ".",
                   "live.err");
  live.Send(R"({"request": "GetLogicalList"})");
  ASSERT_TRUE(live.AwaitLine(IsReply, kMinute).has_value());

  const Result imported = RunAs(shared, {"import", "site.json"});
  ASSERT_EQ(imported.status, 0) << imported.err;
  const Result exported = Run({"--store", schema.conninfo(), "export"});
  EXPECT_EQ(exported.out, site);
  EXPECT_EQ(RunAs(shared, {"check", "--strict"}).status, 0);
  // The running server reads the replaced tree whole.
  live.Send(R"({"request": "GetLogicalList"})");
  const std::optional<std::string> list = live.AwaitLine(IsReply, kMinute);
  ASSERT_TRUE(list.has_value());
  EXPECT_NE(list->find(R"("cam-lobby")"), std::string::npos) << *list;

  // Back to a file store, byte for byte.
  fs::create_directories("back");
  ASSERT_EQ(Run({"--data-dir", "back", "-"}).status, 0);
  ASSERT_EQ(Run({"--data-dir", "back", "import", "site.json"}).status, 0);
  EXPECT_EQ(Export("back"), site);

  // The same refusals: problems (1), values the store cannot hold and
  // unreadable documents (2), with the store unchanged; backup and restore
  // name PostgreSQL's own tools.
  EXPECT_EQ(RunAs(shared, {"import", Data("odd_values.json").string()}).status, 2);
  std::string orphan = site;
  orphan.insert(orphan.rfind("\n]}"),
                ",\n"
                R"({"itemId":"zz","parentId":"gone","name":"Z","type":"Group","order":1,)"
                R"("createdTime":1})");
  std::ofstream("orphan.json") << orphan;
  EXPECT_EQ(RunAs(shared, {"import", "orphan.json"}).status, 1);
  for (const auto& verb : std::vector<std::pair<std::string, std::string>>{
           {"backup", "pg_dump"}, {"restore", "pg_restore"}}) {
    const Result refused = RunAs(shared, {verb.first, "data/group.db"});
    EXPECT_EQ(refused.status, 2) << verb.first;
    EXPECT_NE(refused.err.find(verb.second), std::string::npos) << refused.err;
  }
  EXPECT_EQ(Run({"--store", schema.conninfo(), "export"}).out, site);
  ASSERT_EQ(RunAs(shared, {"export", "e.json"}).status, 0);
  EXPECT_EQ(ReadFile("e.json"), site);
  EXPECT_EQ(fs::status("e.json").permissions(), fs::perms(0600));
  live.Send(R"({"request": "GetLogicalList"})");
  live.Kill();
}

enum class Store { kSqlite, kPostgres };

// The scripts' answers do not depend on the store they run on.
class GroupHostStoreTest : public GroupHostTest, public testing::WithParamInterface<Store> {
 protected:
  void SetUp() override {
    if (GetParam() == Store::kPostgres && PostgresTestSchema::Server().empty()) {
      GTEST_SKIP() << "no test server";
    }
  }
  // A store of its own for the next runs: an emptied directory, and on
  // PostgreSQL a fresh schema too.
  void FreshStore() {
    for (const auto& entry : fs::directory_iterator(".")) fs::remove_all(entry.path());
    if (GetParam() == Store::kSqlite) return;
    schema_.reset();
    schema_ = std::make_unique<PostgresTestSchema>();
    store_args_ = {"--store", schema_->conninfo()};
  }

  std::unique_ptr<PostgresTestSchema> schema_;
};

// Each script runs in a fresh directory or in the one the script before it
// left; `tree` names the expected printed tree after it, `needle` a text its
// standard error must hold (diagnostics stay out of the protocol).
TEST_P(GroupHostStoreTest, ScriptsGiveTheExpectedRepliesAndTrees) {
  const struct {
    const char* script;
    bool fresh;
    const char* tree;
    const char* needle;
  } runs[] = {
      {"requests", true, nullptr, "ThreadComponent::start"},
      {"failures", true, nullptr, "no table under key 1"},
      // The listener departs before the component is destroyed.
      {"channels", true, "channels_tree", "Found Source to this component which is to be killed!"},
      {"bad_lines", true, nullptr, ""},
      {"tree_edges", true, "tree_edges_tree", ""},
      {"restart_1", true, nullptr, ""},
      {"restart_2", false, "restart_tree", ""},
  };
  for (const auto& r : runs) {
    if (r.fresh) FreshStore();
    const Result run = Run({Data(std::string(r.script) + ".jsonl").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find("still allocated"), std::string::npos) << run.err;
    for (const std::string& line : Lines(run.out)) {
      rapidjson::Document doc;
      EXPECT_TRUE(pga_json::Parse(doc, line) && doc.IsObject()) << line;
    }
    // Where the shared store answers otherwise (a clear is a change that
    // every server follows), its own expectation says so.
    const std::string shared = std::string(r.script) + "_shared.expected";
    ExpectLines(run.out, GetParam() == Store::kPostgres && fs::exists(Data(shared))
                             ? shared
                             : std::string(r.script) + ".expected");
    if (r.tree != nullptr) ExpectLines(Run({"tree"}).out, std::string(r.tree) + ".expected");
    EXPECT_NE(run.err.find(r.needle), std::string::npos) << r.script;
    // The tree was where the run was told to keep it.
    EXPECT_EQ(fs::exists("group.db"), GetParam() == Store::kSqlite) << r.script;
  }
}

INSTANTIATE_TEST_SUITE_P(BothStores, GroupHostStoreTest,
                         testing::Values(Store::kSqlite, Store::kPostgres),
                         [](const testing::TestParamInfo<Store>& info) {
                           return info.param == Store::kSqlite ? "Sqlite" : "Postgres";
                         });

// How a store that fails is made to fail, beyond the SQL it is made from.
enum class Refusal { kNone, kReadOnlyFile, kLockedByAnotherProcess };

// Each script runs on a store that fails in its own way. Every statement
// that fails prints its line and fails alone, and each request answers as
// its last store operation did; only a lock that another process keeps past
// the wait fails a batch whole. Standard output and standard error (times
// and the directory masked) are compared with testdata/<name>.expected and
// testdata/<name>.expected_err.
TEST_F(GroupHostTest, FailingStoresGiveEachStatementsLineAndTheRequestsOwnAnswer) {
  const struct {
    const char* name;
    const char* script;
    const char* sql;
    Refusal refusal;
  } cases[] = {
      {"cleared_cold", "cleared_cold", nullptr, Refusal::kNone},
      {"cleared_twice", "cleared_twice", nullptr, Refusal::kNone},
      {"read_only_store", "refusing_store", "refusing_store.sql", Refusal::kReadOnlyFile},
      {"view_store", "refusing_store", "view_store.sql", Refusal::kNone},
      {"no_order_store", "no_order_store", "no_order_store.sql", Refusal::kNone},
      {"locked_store", "locked_store", "refusing_store.sql", Refusal::kLockedByAnotherProcess},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all("data");
    fs::create_directories("data");
    if (c.sql != nullptr) MakeStoreFromSql(c.sql);
    std::vector<std::string> prefix;
    if (c.refusal == Refusal::kReadOnlyFile) {
      fs::permissions("data/group.db",
                      fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
      // Root writes whatever the mode says: the host runs as nobody then.
      if (geteuid() == 0) {
        fs::permissions(".", fs::perms::all);
        fs::permissions("data", fs::perms::all);
        prefix = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
      }
    }
    std::unique_ptr<HostProcess> holder;
    if (c.refusal == Refusal::kLockedByAnotherProcess) {
      holder = std::make_unique<HostProcess>(Which("sqlite3"), std::vector<std::string>{"group.db"},
                                             "data", "holder.err");
      holder->Send("BEGIN IMMEDIATE; SELECT 'held';");
      ASSERT_EQ(holder->ReadLine(kMinute), "held");
    }
    const Result run =
        RunAs(prefix, {"--data-dir", "data", Data(std::string(c.script) + ".jsonl")});
    if (holder) holder->Wait();
    EXPECT_EQ(run.status, 0) << run.err;
    ExpectLines(run.out, std::string(c.name) + ".expected");
    ExpectLines(MaskDiagnostics(run.err, fs::absolute("data").string()),
                std::string(c.name) + ".expected_err");
  }
}

TEST_F(GroupHostTest, AbsurdLinesAreRefusedAndTheRunGoesOn) {
  const fs::path script = "absurd.jsonl";
  {
    std::ofstream out(script, std::ios::binary);
    out << std::string(17u << 20, 'x') << "\n";                           // too long
    out << std::string(100000, '[') << std::string(100000, ']') << "\n";  // too deep
    out << std::string("{\"request\":\"Get\0\xff\xfe\"}", 20) << "\n";    // binary
    out << R"({"request":"ChannelsRemoved","channelIds":[)" << std::string(300, '9') << "]}\n";
    out << R"({"request":"GetLogicalList"})";  // no line end at the end
  }
  const Result run = Run({script.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  const char* starts[] = {R"({"error":{"line":1,"message":"line longer than 16777216 bytes"}})",
                          R"({"error":{"line":2,"message":"not JSON)", R"({"error":{"line":3,)",
                          R"({"error":{"line":4,"message":"element 0 of \"channelIds\")",
                          R"({"reply":"GetLogicalList")"};
  const std::vector<std::string> out = Lines(run.out);
  ASSERT_EQ(out.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(out[i].rfind(starts[i], 0), 0u) << out[i];
}

TEST_F(GroupHostTest, DemoRunsInAFreshDirectory) {
  const Result run = Run({"demo"});
  EXPECT_EQ(run.status, 0) << run.err;
  ExpectLines(run.out, "demo.expected");
  // Nothing was left in the directory the demo was started from.
  EXPECT_FALSE(fs::exists("group.db"));
}

TEST_F(GroupHostTest, DirectoriesAndStandardInput) {
  const fs::path config = "config";
  fs::create_directories(config);
  std::ofstream(config / "GroupApplication_default_attribute.json")
      << R"({"Name":"GroupApplication","Version":"0.0.0","Attributes":[]})";
  std::ofstream(config / "GroupApplication_protocol.json")
      << R"({"Name":"GroupApplication","Protocol":[{"Cgi":"ptz","Submenu":"move","Command":12}]})";
  const Result run = Run({"--data-dir", "data/", "--config-dir", "config", "--instance", "7", "-"},
                         Data("restart_1.jsonl").string());
  EXPECT_EQ(run.status, 0) << run.err;
  ExpectLines(run.out, "restart_1.expected");
  // The store and the own attribute file are in the data directory, written
  // from the default file of the configuration directory.
  EXPECT_TRUE(fs::exists("data/group.db"));
  EXPECT_TRUE(fs::exists("data/GroupApplication_attribute_7.json"));
  EXPECT_NE(run.err.find("Inserting Protocol CMD Group : ptz.move -> 12"), std::string::npos);

  const Result tree = Run({"--data-dir", fs::absolute("data").string(), "tree"});
  ExpectLines(tree.out, "restart_1_tree.expected");
}

TEST_F(GroupHostTest, StartUpFailuresExitWithStatusTwo) {
  const Result no_plugin = Run({"--plugin", "missing.so", "-"});
  EXPECT_EQ(no_plugin.status, 2);
  EXPECT_EQ(no_plugin.out, "");
  EXPECT_NE(no_plugin.err.find("cannot load the plug-in"), std::string::npos);

  const Result no_script = Run({"no_such_script.jsonl"});
  EXPECT_EQ(no_script.status, 2);
  EXPECT_NE(no_script.err.find("cannot open the script"), std::string::npos);

  EXPECT_EQ(Run({"--bogus"}).status, 2);

  // A shared store that cannot be reached is a store that cannot be opened.
  const Result no_server = Run({"--store", "host=/nonexistent port=1 dbname=none", "-"});
  EXPECT_EQ(no_server.status, 2);
  EXPECT_NE(no_server.err.find("create_component: Connection attempt failed"), std::string::npos)
      << no_server.err;
  EXPECT_NE(no_server.err.find("PostgresSession::Connect cannot connect: "), std::string::npos)
      << no_server.err;

  // A defective protocol file makes the preparation throw: no component.
  std::ofstream("GroupApplication_default_attribute.json")
      << R"({"Name":"GroupApplication","Version":"0.0.0","Attributes":[]})";
  std::ofstream("GroupApplication_protocol.json") << R"({"Name":"Other"})";
  const Result bad_protocol = Run({"-"});
  EXPECT_EQ(bad_protocol.status, 2);
  // The plug-in's printed lines keep their order with the lines written to
  // standard error directly, its own and the host's.
  const std::size_t printed =
      bad_protocol.err.find("Component Name is different : Other : GroupApplication\n");
  const std::size_t written =
      bad_protocol.err.find("Component Name is different : Other vs GroupApplication\n");
  const std::size_t verdict = bad_protocol.err.find("group_host: no component: PrepareAttributes");
  EXPECT_TRUE(printed < written && written < verdict && verdict != std::string::npos)
      << bad_protocol.err;
  EXPECT_EQ(bad_protocol.err.find("still allocated"), std::string::npos) << bad_protocol.err;
}

}  // namespace

}  // namespace pga
