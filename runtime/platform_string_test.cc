#include "runtime/platform_string.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/allocator_test_fixture.h"
#include "runtime/map.h"

namespace pga {

namespace {

using Platform_Std_Refine::String;
using StringTest = AllocatorTest;

TEST_F(StringTest, MapsIterateShortestKeyFirstThenByBytes) {
  Map<String, int> map;
  for (const char* key : {"b", "aa", "a", "zz", "aaa", ""}) map.insert(key, 0);
  std::vector<std::string> order;
  for (const auto& entry : map) order.push_back(entry.first.str());
  EXPECT_EQ(order, (std::vector<std::string>{"", "a", "b", "aa", "zz", "aaa"}));

  EXPECT_TRUE(String("zz") < String("aaa"));
  EXPECT_FALSE(String("") < String(""));
  EXPECT_TRUE(String("") == String(""));
  // Bytes compare unsigned, as strncmp does.
  EXPECT_TRUE(String("a") < String("\xE9"));
  EXPECT_FALSE(map.insert("aa", 1).second);
}

TEST_F(StringTest, ConstructsFromTextsAndNumbersAndAppends) {
  EXPECT_EQ(String(static_cast<const char*>(nullptr)).str(), "");
  EXPECT_EQ(String("abcdef", 3).str(), "abc");
  EXPECT_EQ(String(std::string("x\0y", 3)).length(), 3);
  EXPECT_EQ(String(4294967295u).str(), "4294967295");
  EXPECT_EQ(String(-9223372036854775807LL - 1).str(), "-9223372036854775808");
  EXPECT_EQ(String(18446744073709551615ULL).str(), "18446744073709551615");

  String text("ab");
  text += String("cd");
  text += "ef";
  text += static_cast<const char*>(nullptr);
  EXPECT_STREQ(text.c_str(), "abcdef");
}

}  // namespace

}  // namespace pga
