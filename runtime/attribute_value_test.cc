#include "runtime/attribute_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace pga {

namespace {

template <typename T>
AttributeItem Item(char letter, T* variable, int count = 1, char sub = 'x') {
  AttributeItem item;
  item.count = count;
  item.typeCode = letter;
  item.subTypeCode = sub;
  item.variable = variable;
  return item;
}

// Writes `value` as an item of type `letter`, reads the text back into a
// fresh variable that must then equal `value`, and gives the text.
template <typename T>
std::string RoundTrip(char letter, T value, char sub = 'x') {
  rapidjson::Document doc;
  const rapidjson::Value text =
      AttributeValue::Write(Item(letter, &value, 1, sub), doc.GetAllocator());
  T back{};
  AttributeValue::Read(Item(letter, &back, 1, sub), text);
  EXPECT_EQ(back, value) << letter;
  return pga_json::ToCompact(text);
}

TEST(AttributeValueTest, EveryTypeReadsBackWhatWasWritten) {
  EXPECT_EQ(RoundTrip('?', true), "true");
  EXPECT_EQ(RoundTrip('B', std::uint8_t{255}), "\"ff\"");
  EXPECT_EQ(RoundTrip('b', std::int8_t{-2}), "\"fe\"");
  EXPECT_EQ(RoundTrip('c', 'A'), "\"41\"");
  EXPECT_EQ(RoundTrip('H', std::uint16_t{65535}), "65535");
  EXPECT_EQ(RoundTrip('h', std::int16_t{-32768}), "-32768");
  EXPECT_EQ(RoundTrip('Q', std::numeric_limits<std::uint64_t>::max()), "18446744073709551615");
  EXPECT_EQ(RoundTrip('q', std::numeric_limits<long long>::min()), "-9223372036854775808");
  EXPECT_EQ(RoundTrip('f', 1.5f), "1.5");
  EXPECT_EQ(RoundTrip('s', std::string("a\0b", 3)), "\"a\\u0000b\"");
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(RoundTrip('v', std::vector<std::string>{"x", "y"}, 's'), "[\"x\",\"y\"]");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Adding x\nAdding y\n");
}

TEST(AttributeValueTest, ValuesThatDoNotFitLeaveTheMemberAlone) {
  rapidjson::Document doc;
  auto read = [&doc](const AttributeItem& item, const char* json) {
    ASSERT_TRUE(pga_json::Parse(doc, json, std::char_traits<char>::length(json))) << json;
    AttributeValue::Read(item, doc);
  };
  std::uint16_t u16 = 7;
  read(Item('H', &u16), "65536");
  read(Item('H', &u16), "-1");
  float f = 7;
  read(Item('f', &f), "1e300");
  int i = 7;
  read(Item('i', &i), "\"8\"");
  read(Item('i', &i), "[8]");
  EXPECT_EQ(u16, 7);
  EXPECT_EQ(f, 7);
  EXPECT_EQ(i, 7);

  // 'Q' takes either 64-bit unsigned type; NaN has no JSON form.
  unsigned long long q = 0;
  EXPECT_TRUE(AttributeValue::IsBound(Item('Q', &q)));
  double nan = std::nan("");
  EXPECT_TRUE(AttributeValue::Write(Item('d', &nan), doc.GetAllocator()).IsNull());
}

}  // namespace

}  // namespace pga
