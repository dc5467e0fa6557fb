#include "store/text_bytes.h"

#include <gtest/gtest.h>

#include <string>

namespace pga {

namespace {

using namespace std::string_literals;

TEST(TextBytesTest, Utf8EdgesHexAndQuoting) {
  for (const std::string& good : {""s, "a\0b"s, "\xC2\x80"s, "\xEF\xBF\xBF"s, "\xF4\x8F\xBF\xBF"s,
                                  "\xED\x9F\xBF"s, "\xF0\x90\x80\x80"s}) {
    EXPECT_TRUE(IsUtf8(good)) << ToHex(good);
  }
  // Stray continuation, overlong forms, surrogates, above U+10FFFF, cut off.
  for (const std::string& bad :
       {"\x80"s, "\xC0\xAF"s, "\xC1\xBF"s, "\xE0\x9F\xBF"s, "\xED\xA0\x80"s, "\xF0\x8F\xBF\xBF"s,
        "\xF4\x90\x80\x80"s, "\xF5\x80\x80\x80"s, "\xE2\x82"s, "a\xFF"s}) {
    EXPECT_FALSE(IsUtf8(bad)) << ToHex(bad);
  }

  std::string bytes;
  EXPECT_EQ(ToHex("\x00\xff\x7f"s), "00ff7f");
  ASSERT_TRUE(FromHex("00FFab", bytes));
  EXPECT_EQ(bytes, "\x00\xff\xab"s);
  EXPECT_FALSE(FromHex("abc", bytes));
  EXPECT_FALSE(FromHex("zz", bytes));

  // One line whatever the bytes; well-formed characters stay as they are.
  EXPECT_EQ(QuoteText("a\"b\\c\nd\0\x7f\xC3\xA9\xFF"s), R"("a\"b\\c\u000ad\u0000\u007f)"
                                                        "\xC3\xA9"
                                                        R"(\xff")");
}

}  // namespace

}  // namespace pga
