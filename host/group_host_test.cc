// Runs the built group_host as a separate process on the scripts of
// testdata/ and compares its standard output, line by line, with the
// expected files there. Times are masked: every number after
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
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " 2>" + Quote((dir_ / "stderr.txt").string());
    command += " <" + (input.empty() ? std::string("/dev/null") : Quote(input));
    HostRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    for (const std::string& line : SplitLines(out)) run.out.push_back(Mask(line));
    run.err = ReadFile(dir_ / "stderr.txt");
    return run;
  }

  // Runs the script testdata/<name>.jsonl and checks that it ends well.
  HostRun RunScript(const std::string& name, std::vector<std::string> options = {}) const {
    options.push_back(Data(name + ".jsonl").string());
    HostRun run = Run(options);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find("still allocated"), std::string::npos) << run.err;
    return run;
  }

  // Compares `actual` with testdata/<name>, line by line.
  static void ExpectLines(const std::vector<std::string>& actual, const std::string& name) {
    const std::vector<std::string> expected = SplitLines(ReadFile(Data(name)));
    for (std::size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
      const std::string got = i < actual.size() ? actual[i] : "<missing>";
      const std::string want = i < expected.size() ? expected[i] : "<none>";
      EXPECT_EQ(got, want) << name << " line " << i + 1;
    }
  }

  // Every protocol line is one JSON object.
  static void ExpectJsonLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
      rapidjson::Document doc;
      EXPECT_TRUE(pga_json::Parse(doc, line) && doc.IsObject()) << line;
    }
  }

  fs::path dir_;
};

TEST_F(GroupHostTest, EveryRequestKindIsAnswered) {
  const HostRun run = RunScript("requests");
  ExpectJsonLines(run.out);
  ExpectLines(run.out, "requests.expected");
  // The plug-in's diagnostics went to standard error, not into the protocol.
  EXPECT_NE(run.err.find("ThreadComponent::start"), std::string::npos);
}

TEST_F(GroupHostTest, FailedRequestsAnswerWithResultCodes) {
  const HostRun run = RunScript("failures");
  ExpectJsonLines(run.out);
  ExpectLines(run.out, "failures.expected");
  EXPECT_NE(run.err.find("no table under key 1"), std::string::npos);
}

TEST_F(GroupHostTest, ChannelReportsReshapeTheTree) {
  const HostRun run = RunScript("channels");
  ExpectJsonLines(run.out);
  ExpectLines(run.out, "channels.expected");
  ExpectLines(Run({"tree"}).out, "channels_tree.expected");
}

TEST_F(GroupHostTest, BadLinesBareAndPlainEvents) {
  const HostRun run = RunScript("bad_lines");
  ExpectJsonLines(run.out);
  ExpectLines(run.out, "bad_lines.expected");
}

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

TEST_F(GroupHostTest, TreeSurvivesARestart) {
  ExpectLines(RunScript("restart_1").out, "restart_1.expected");
  ExpectLines(RunScript("restart_2").out, "restart_2.expected");
  ExpectLines(Run({"tree"}).out, "restart_tree.expected");
}

TEST_F(GroupHostTest, TreeShowsOrphansAndLoops) {
  ExpectLines(RunScript("tree_edges").out, "tree_edges.expected");
  ExpectLines(Run({"tree"}).out, "tree_edges_tree.expected");
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

  // A defective protocol file makes the preparation throw: no component.
  std::ofstream(dir_ / "GroupApplication_default_attribute.json")
      << R"({"Name":"GroupApplication","Version":"0.0.0","Attributes":[]})";
  std::ofstream(dir_ / "GroupApplication_protocol.json") << R"({"Name":"Other"})";
  const HostRun bad_protocol = Run({"-"});
  EXPECT_EQ(bad_protocol.status, 2);
  EXPECT_NE(bad_protocol.err.find("PrepareAttributes failed"), std::string::npos)
      << bad_protocol.err;
  EXPECT_EQ(bad_protocol.err.find("still allocated"), std::string::npos) << bad_protocol.err;
}

}  // namespace
