#include "host/host_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pga {

namespace {

// The options that work are used by the end-to-end tests.
TEST(HostOptionsTest, DefaultsAndRefusedCommandLines) {
  HostOptions options;
  std::string error;
  ASSERT_TRUE(ParseHostOptions({}, options, error));
  EXPECT_EQ(options.mode, HostOptions::Mode::kScript);
  EXPECT_EQ(options.script, "-");
  EXPECT_EQ(options.instance, 0);

  const std::vector<std::vector<std::string>> bad = {
      {"--instance"},
      {"--instance", "x"},
      {"--instance", "99999999999"},
      {"--instance", "1x"},
      {"--plugin", ""},
      {"--verbose"},
      {"a.jsonl", "b.jsonl"},
      {"tree", "demo"},
      {"--data-dir"},
      {"backup"},
      {"check", "x"},
      {"export", "a", "b"},
      {"tree", "--json"},
      {"check", "--force"},
      {"import", "--strict", "a"},
      {"--store", "dbname=x", "check"},
      {"export", "--store", "dbname=x"},
  };
  ASSERT_TRUE(ParseHostOptions({"--force", "backup", "b.db", "--data-dir", "d"}, options, error));
  EXPECT_EQ(options.mode, HostOptions::Mode::kBackup);
  EXPECT_EQ(options.path, "b.db");
  EXPECT_TRUE(options.force);
  EXPECT_TRUE(IsStoreVerb(options.mode));

  for (const auto& args : bad) {
    error.clear();
    EXPECT_FALSE(ParseHostOptions(args, options, error)) << args[0];
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace

}  // namespace pga
