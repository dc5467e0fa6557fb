// "group.db" as nobody should leave it: not a database, cut in the middle of
// a page, its table's columns of other types, NULLs, parent links that loop,
// a chain 100,000 deep, equal orders, names of 1 MB. The component starts,
// answers every request kind (testdata/hostile_requests.jsonl) as the
// request's own rules say, and stops; `group_host tree` prints the tree, or
// refuses a file it cannot read; all of it ends in bounded time, without a
// crash or a leaked block.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "group/group_application_test_support.h"
#include "host/script_command.h"

namespace pga {

namespace {

// Far beyond what any case takes, far below "hangs".
constexpr double kBoundSeconds = 120.0;

// Runs `sql` on a new "group.db"; an error throws, which fails the test.
void MakeStore(const std::string& sql) { TempStoreDir::Query(sql); }

const char kTable[] =
    "CREATE TABLE logical_table (uuid TEXT PRIMARY KEY NOT NULL,parent_uuid TEXT ,name "
    "VARCHAR(32),type TEXT,order_ INTEGER,created_time INTEGER);";

// A table of the right form holding `values` (SQL row tuples).
std::string TableWith(const std::string& values) {
  return std::string(kTable) + "INSERT INTO logical_table VALUES " + values + ";";
}

// What a store case is made of, and whether a new group can be stored in it.
struct HostileCase {
  const char* name;
  void (*make)();
  bool writable;
};

void NotADatabase() {
  std::ofstream file("group.db", std::ios::binary);
  unsigned state = 12345;
  for (int i = 0; i < 8192; ++i) {
    state = state * 1103515245u + 12345u;
    file.put(static_cast<char>(state >> 16));
  }
}

void CutInAPage() {
  std::string rows;
  for (int i = 0; i < 3000; ++i) {
    rows += std::string(i ? "," : "") + "('x" + std::to_string(i) + "','a','Camera " +
            std::to_string(i) + "','Channel'," + std::to_string(i) + ",0)";
  }
  MakeStore(
      TableWith("('a','','A','Group',1,0),('b','a','B','Group',2,0),('c','b','C',"
                "'Channel',1,0)," +
                rows));
  const auto size = std::filesystem::file_size("group.db");
  std::filesystem::resize_file("group.db", size / 2 + 1000);
}

void OtherTypes() {
  MakeStore(
      "CREATE TABLE logical_table (uuid INTEGER PRIMARY KEY, parent_uuid BLOB, name REAL, "
      "type INTEGER, order_ TEXT, created_time TEXT);"
      "INSERT INTO logical_table VALUES (1, x'00ff00', 3.5, 7, 'abc', 'def'),"
      "(2, 1, -0.0, 'Group', '1e999', x'01'), (3, 'x', 1e308, NULL, 99999999999999999999, -1);");
}

void Nulls() {
  MakeStore(
      "CREATE TABLE logical_table (uuid, parent_uuid, name, type, order_, created_time);"
      "INSERT INTO logical_table VALUES (NULL, NULL, NULL, NULL, NULL, NULL),"
      "(NULL, 'a', NULL, 'Group', NULL, NULL), ('a', NULL, NULL, 'Group', NULL, NULL),"
      "('b', 'a', NULL, 'Group', 1, NULL), ('c', 'b', 'C', NULL, NULL, NULL);");
}

void LoopsAndEqualOrders() {
  std::string siblings;
  for (int i = 0; i < 50; ++i) {
    siblings += ",('e" + std::to_string(i) + "','a','E','Channel',1,0)";
  }
  // a and b are each other's parent, s its own; c hangs below the loop.
  MakeStore(
      TableWith("('a','b','A','Group',1,0),('b','a','B','Group',1,0),"
                "('s','s','S','Group',1,0),('c','a','C','Channel',1,0)" +
                siblings));
}

void DeepChain() {
  std::string sql =
      std::string(kTable) + "BEGIN;INSERT INTO logical_table VALUES ('a','','A','Group',1,0);";
  // g1 below a, g2 below g1 ... and the channel c at the bottom.
  sql +=
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) "
      "INSERT INTO logical_table SELECT 'g' || i, CASE i WHEN 1 THEN 'a' ELSE 'g' || (i - 1) "
      "END, 'G', 'Group', 1, 0 FROM n;"
      "INSERT INTO logical_table VALUES ('c','g100000','C','Channel',1,0),"
      "('b','a','B','Group',2,0);COMMIT;";
  MakeStore(sql);
}

void HugeNames() {
  // 1,048,576 characters each.
  const std::string name = "zeroblob(524288)";
  MakeStore(std::string(kTable) + "INSERT INTO logical_table VALUES ('a','',hex(" + name +
            "),'Group',1,0),"
            "('b','a',hex(" +
            name + "),'Group',1,0),('c','b',hex(" + name + "),'Channel',1,0);");
}

const HostileCase kCases[] = {
    {"not a database", NotADatabase, false},
    {"cut in the middle of a page", CutInAPage, false},
    {"columns of other types", OtherTypes, false},
    {"NULLs", Nulls, true},
    {"parent loops, a self-parent and equal orders", LoopsAndEqualOrders, true},
    {"a chain 100,000 deep", DeepChain, true},
    {"names of 1 MB", HugeNames, true},
};

class HostileStoreTest : public GroupApplicationTest {
 protected:
  // The store is made before the component opens it.
  void SetUp() override {
    InstallAllocator(&allocator_);
    dir_ = std::make_unique<TempStoreDir>();
  }

  // Delivers every line of the requests file; checks each change's answer.
  void RunRequests(bool writable) {
    std::ifstream in(std::string(PGA_HOST_TESTDATA) + "/hostile_requests.jsonl");
    for (std::string line; std::getline(in, line);) {
      ParsedLine parsed = ParseScriptCommand(line);
      if (parsed.kind != ParsedLine::Kind::kCommand) continue;
      const std::uint32_t type = parsed.command.event_type;
      std::unique_ptr<Event> event = Deliver(type, parsed.command.payload.release());
      if (type != eCreateLogicalGroup && type != eModifyLogicalGroup &&
          type != eDeleteLogicalGroup && type != eModifyLogicalMapping) {
        continue;
      }
      const auto* answer = dynamic_cast<GroupRequestParam*>(event->GetObjectArgument());
      const std::string failure = Failure(*event);
      EXPECT_TRUE((answer != nullptr && answer->succeeded) ||
                  failure == "5000000 Internal Server Error" || failure.rfind("4000000 ", 0) == 0)
          << line << ": " << failure;
      if (type == eCreateLogicalGroup) {
        EXPECT_EQ(answer != nullptr && answer->succeeded, writable) << failure;
      }
    }
  }

  // `group_host tree` on this directory, within the bound; its exit status.
  static int PrintTree() {
    const std::string command = "timeout " + std::to_string(static_cast<int>(kBoundSeconds)) + " " +
                                PGA_GROUP_HOST + " tree --data-dir '" +
                                std::filesystem::current_path().string() + "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

TEST_F(HostileStoreTest, EveryRequestAndTheTreeEndInBoundedTimeOnAHostileStore) {
  for (const HostileCase& store : kCases) {
    SCOPED_TRACE(store.name);
    dir_.reset();  // back to where the test started, then into a new directory
    dir_ = std::make_unique<TempStoreDir>();
    store.make();
    const auto start = std::chrono::steady_clock::now();
    Open();
    RunRequests(store.writable);
    Close();
    EXPECT_EQ(allocator_.LiveBlocks(), 0u);
    // A store it cannot read is refused with a line and status 2; anything
    // else (a crash, the time running out) is a failure.
    const int tree = PrintTree();
    EXPECT_TRUE(tree == 0 || (tree == 2 && !store.writable)) << "group_host tree: " << tree;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, kBoundSeconds);
    std::printf("%s: %.1f s\n", store.name, seconds);
  }
}

}  // namespace

}  // namespace pga
