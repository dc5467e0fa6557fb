#include "host/host_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(HostOptionsTest, ReadsModesAndValues) {
  HostOptions options;
  std::string error;
  ASSERT_TRUE(ParseHostOptions({"--plugin", "p.so", "--data-dir", "d", "--config-dir", "c",
                                "--instance", "-3", "script.jsonl"},
                               options, error))
      << error;
  EXPECT_EQ(options.mode, HostOptions::Mode::kScript);
  EXPECT_EQ(options.plugin, "p.so");
  EXPECT_EQ(options.data_dir, "d");
  EXPECT_EQ(options.config_dir, "c");
  EXPECT_EQ(options.instance, -3);
  EXPECT_EQ(options.script, "script.jsonl");

  HostOptions defaults;
  ASSERT_TRUE(ParseHostOptions({}, defaults, error));
  EXPECT_EQ(defaults.script, "-");
  HostOptions tree;
  ASSERT_TRUE(ParseHostOptions({"tree", "--data-dir", "x"}, tree, error));
  EXPECT_EQ(tree.mode, HostOptions::Mode::kTree);
  EXPECT_EQ(tree.data_dir, "x");
}

TEST(HostOptionsTest, RefusesBadCommandLines) {
  const std::vector<std::vector<std::string>> bad = {
      {"--instance"},         {"--instance", "x"}, {"--instance", "99999999999"},
      {"--instance", "1x"},   {"--plugin", ""},    {"--verbose"},
      {"a.jsonl", "b.jsonl"}, {"tree", "demo"},    {"--data-dir"},
  };
  for (const auto& args : bad) {
    HostOptions options;
    std::string error;
    EXPECT_FALSE(ParseHostOptions(args, options, error)) << args[0];
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
