// Runs the built group_host as a separate process on the scripts of
// testdata/ and compares its standard output, line by line, with the
// expected files there. The scripts run on both stores: SQLite, and the
// PostgreSQL test server of scripts/with-postgres when there is one. Times are masked: every number after
// "eventTimeMsec" or "createdTime" reads "<time>".
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/json.h"
#include "store/postgres_test_schema.h"

namespace fs = std::filesystem;

namespace {

struct HostRun {
  int status = -1;
  std::vector<std::string> out;  // standard output, masked, line by line
  std::string err;               // standard error
};

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Mask(const std::string& line) {
  static const std::regex kTime(R"re("(eventTimeMsec|createdTime)":-?[0-9]+)re");
  return std::regex_replace(line, kTime, R"("$1":"<time>")");
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class GroupHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "group_host_test_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  static fs::path Data(const std::string& name) { return fs::path(PGA_HOST_TESTDATA) / name; }

  // Runs group_host with `args` in the test's directory; standard input
  // comes from `input` when it is not empty.
  HostRun Run(const std::vector<std::string>& args, const std::string& input = "") const {
    std::string command = "cd " + Quote(dir_.string()) + " && " + Quote(PGA_GROUP_HOST);
    for (const std::string& arg : store_args_) command += " " + Quote(arg);
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " <" + (input.empty() ? std::string("/dev/null") : Quote(input)) + " >out 2>err";
    const int status = std::system(command.c_str());
    HostRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    for (const std::string& line : SplitLines(ReadFile(dir_ / "out")))
      run.out.push_back(Mask(line));
    run.err = ReadFile(dir_ / "err");
    return run;
  }

  // Compares `actual` with testdata/<name>.
  static void ExpectLines(const std::vector<std::string>& actual, const std::string& name) {
    EXPECT_EQ(actual, SplitLines(ReadFile(Data(name)))) << name;
  }

  fs::path dir_;
  // Given to every run before `args`: the store to use, if not group.db.
  std::vector<std::string> store_args_;
};

enum class Store { kSqlite, kPostgres };

// The scripts' answers do not depend on the store they run on.
class GroupHostStoreTest : public GroupHostTest, public testing::WithParamInterface<Store> {
 protected:
  void SetUp() override {
    GroupHostTest::SetUp();
    if (GetParam() == Store::kPostgres && PostgresTestSchema::Server().empty()) {
      GTEST_SKIP() << "no test server";
    }
  }
  // A store of its own for the next runs: a fresh directory, and on
  // PostgreSQL a fresh schema too.
  void FreshStore() {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
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
    const HostRun run = Run({Data(std::string(r.script) + ".jsonl").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find("still allocated"), std::string::npos) << run.err;
    for (const std::string& line : run.out) {
      rapidjson::Document doc;
      EXPECT_TRUE(pga_json::Parse(doc, line) && doc.IsObject()) << line;
    }
    ExpectLines(run.out, std::string(r.script) + ".expected");
    if (r.tree != nullptr) ExpectLines(Run({"tree"}).out, std::string(r.tree) + ".expected");
    EXPECT_NE(run.err.find(r.needle), std::string::npos) << r.script;
    // The tree was where the run was told to keep it.
    EXPECT_EQ(fs::exists(dir_ / "group.db"), GetParam() == Store::kSqlite) << r.script;
  }
}

INSTANTIATE_TEST_SUITE_P(BothStores, GroupHostStoreTest,
                         testing::Values(Store::kSqlite, Store::kPostgres),
                         [](const testing::TestParamInfo<Store>& info) {
                           return info.param == Store::kSqlite ? "Sqlite" : "Postgres";
                         });

TEST_F(GroupHostTest, AbsurdLinesAreRefusedAndTheRunGoesOn) {
  const fs::path script = dir_ / "absurd.jsonl";
  {
    std::ofstream out(script, std::ios::binary);
    out << std::string(17u << 20, 'x') << "\n";                           // too long
    out << std::string(100000, '[') << std::string(100000, ']') << "\n";  // too deep
    out << std::string("{\"request\":\"Get\0\xff\xfe\"}", 20) << "\n";    // binary
    out << R"({"request":"ChannelsRemoved","channelIds":[)" << std::string(300, '9') << "]}\n";
    out << R"({"request":"GetLogicalList"})";  // no line end at the end
  }
  const HostRun run = Run({script.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  const char* starts[] = {R"({"error":{"line":1,"message":"line longer than 16777216 bytes"}})",
                          R"({"error":{"line":2,"message":"not JSON)", R"({"error":{"line":3,)",
                          R"({"error":{"line":4,"message":"element 0 of \"channelIds\")",
                          R"({"reply":"GetLogicalList")"};
  ASSERT_EQ(run.out.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(run.out[i].rfind(starts[i], 0), 0u) << run.out[i];
}

TEST_F(GroupHostTest, DemoRunsInAFreshDirectory) {
  const HostRun run = Run({"demo"});
  EXPECT_EQ(run.status, 0) << run.err;
  ExpectLines(run.out, "demo.expected");
  // Nothing was left in the directory the demo was started from.
  EXPECT_FALSE(fs::exists(dir_ / "group.db"));
}

TEST_F(GroupHostTest, DirectoriesAndStandardInput) {
  const fs::path config = dir_ / "config";
  fs::create_directories(config);
  std::ofstream(config / "GroupApplication_default_attribute.json")
      << R"({"Name":"GroupApplication","Version":"0.0.0","Attributes":[]})";
  std::ofstream(config / "GroupApplication_protocol.json")
      << R"({"Name":"GroupApplication","Protocol":[{"Cgi":"ptz","Submenu":"move","Command":12}]})";
  const HostRun run = Run({"--data-dir", "data/", "--config-dir", "config", "--instance", "7", "-"},
                          Data("restart_1.jsonl").string());
  EXPECT_EQ(run.status, 0) << run.err;
  ExpectLines(run.out, "restart_1.expected");
  // The store and the own attribute file are in the data directory, written
  // from the default file of the configuration directory.
  EXPECT_TRUE(fs::exists(dir_ / "data" / "group.db"));
  EXPECT_TRUE(fs::exists(dir_ / "data" / "GroupApplication_attribute_7.json"));
  EXPECT_NE(run.err.find("Inserting Protocol CMD Group : ptz.move -> 12"), std::string::npos);

  const HostRun tree = Run({"--data-dir", (dir_ / "data").string(), "tree"});
  ExpectLines(tree.out, "restart_1_tree.expected");
}

TEST_F(GroupHostTest, StartUpFailuresExitWithStatusTwo) {
  const HostRun no_plugin = Run({"--plugin", "missing.so", "-"});
  EXPECT_EQ(no_plugin.status, 2);
  EXPECT_TRUE(no_plugin.out.empty());
  EXPECT_NE(no_plugin.err.find("cannot load the plug-in"), std::string::npos);

  const HostRun no_script = Run({"no_such_script.jsonl"});
  EXPECT_EQ(no_script.status, 2);
  EXPECT_NE(no_script.err.find("cannot open the script"), std::string::npos);

  EXPECT_EQ(Run({"--bogus"}).status, 2);

  // A shared store that cannot be reached is a store that cannot be opened.
  const HostRun no_server = Run({"--store", "host=/nonexistent port=1 dbname=none", "-"});
  EXPECT_EQ(no_server.status, 2);
  EXPECT_NE(no_server.err.find("create_component: Connection attempt failed"), std::string::npos)
      << no_server.err;
  EXPECT_NE(no_server.err.find("PostgresSession::Connect cannot connect: "), std::string::npos)
      << no_server.err;

  // A defective protocol file makes the preparation throw: no component.
  std::ofstream(dir_ / "GroupApplication_default_attribute.json")
      << R"({"Name":"GroupApplication","Version":"0.0.0","Attributes":[]})";
  std::ofstream(dir_ / "GroupApplication_protocol.json") << R"({"Name":"Other"})";
  const HostRun bad_protocol = Run({"-"});
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
