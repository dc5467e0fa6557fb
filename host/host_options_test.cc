#include "host/host_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The options themselves are used by the end-to-end tests.
TEST(HostOptionsTest, DefaultsAndModes) {
  HostOptions options;
  std::string error;
  ASSERT_TRUE(ParseHostOptions({}, options, error));
  EXPECT_EQ(options.mode, HostOptions::Mode::kScript);
  EXPECT_EQ(options.script, "-");
  EXPECT_EQ(options.instance, 0);
  HostOptions tree;
  ASSERT_TRUE(ParseHostOptions({"tree", "--instance", "-3"}, tree, error)) << error;
  EXPECT_EQ(tree.mode, HostOptions::Mode::kTree);
  EXPECT_EQ(tree.instance, -3);
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
