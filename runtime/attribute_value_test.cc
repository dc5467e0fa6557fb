#include "runtime/attribute_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

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

// Writes `from` and reads the text back into `to`.
std::string RoundTrip(const AttributeItem& from, const AttributeItem& to) {
  rapidjson::Document doc;
  const rapidjson::Value value = AttributeValue::Write(from, doc.GetAllocator());
  AttributeValue::Read(to, value);
  return pga_json::ToCompact(value);
}

TEST(AttributeValueTest, EveryTypeReadsBackWhatWasWritten) {
  bool flag = true, flag_back = false;
  std::uint8_t byte = 255, byte_back = 0;
  std::int8_t signed_byte = -2, signed_byte_back = 0;
  char letter = 'A', letter_back = 0;
  std::uint16_t u16 = 65535, u16_back = 0;
  std::int16_t i16 = -32768, i16_back = 0;
  std::uint64_t u64 = std::numeric_limits<std::uint64_t>::max(), u64_back = 0;
  long long i64 = std::numeric_limits<long long>::min(), i64_back = 0;
  float f = 1.5f, f_back = 0;
  std::string text("a\0b", 3), text_back;
  int ints[3] = {1, -2, 3}, ints_back[3] = {};
  std::vector<std::string> list = {"x", "y"}, list_back = {"old"};

  EXPECT_EQ(RoundTrip(Item('?', &flag), Item('?', &flag_back)), "true");
  EXPECT_EQ(RoundTrip(Item('B', &byte), Item('B', &byte_back)), "\"ff\"");
  EXPECT_EQ(RoundTrip(Item('b', &signed_byte), Item('b', &signed_byte_back)), "\"fe\"");
  EXPECT_EQ(RoundTrip(Item('c', &letter), Item('c', &letter_back)), "\"41\"");
  EXPECT_EQ(RoundTrip(Item('H', &u16), Item('H', &u16_back)), "65535");
  EXPECT_EQ(RoundTrip(Item('h', &i16), Item('h', &i16_back)), "-32768");
  EXPECT_EQ(RoundTrip(Item('Q', &u64), Item('Q', &u64_back)), "18446744073709551615");
  EXPECT_EQ(RoundTrip(Item('q', &i64), Item('q', &i64_back)), "-9223372036854775808");
  EXPECT_EQ(RoundTrip(Item('f', &f), Item('f', &f_back)), "1.5");
  EXPECT_EQ(RoundTrip(Item('s', &text), Item('s', &text_back)), "\"a\\u0000b\"");
  EXPECT_EQ(RoundTrip(Item('i', ints, 3), Item('i', ints_back, 3)), "[1,-2,3]");
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(RoundTrip(Item('v', &list, 1, 's'), Item('v', &list_back, 1, 's')), "[\"x\",\"y\"]");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Adding x\nAdding y\n");

  EXPECT_TRUE(flag_back);
  EXPECT_EQ(byte_back, 255);
  EXPECT_EQ(signed_byte_back, -2);
  EXPECT_EQ(letter_back, 'A');
  EXPECT_EQ(u16_back, 65535);
  EXPECT_EQ(i16_back, -32768);
  EXPECT_EQ(u64_back, u64);
  EXPECT_EQ(i64_back, i64);
  EXPECT_EQ(f_back, 1.5f);
  EXPECT_EQ(text_back, text);
  EXPECT_EQ(std::vector<int>(ints_back, ints_back + 3), std::vector<int>({1, -2, 3}));
  EXPECT_EQ(list_back, std::vector<std::string>({"old", "x", "y"}));
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

  int three[3] = {0, 0, 0};
  read(Item('i', three, 3), "[1,\"x\",3]");
  EXPECT_EQ(std::vector<int>(three, three + 3), std::vector<int>({1, 0, 0}));

  // A pointer of another type than the letter names is no variable.
  long wrong = 0;
  EXPECT_FALSE(AttributeValue::IsBound(Item('i', &wrong)));
  EXPECT_FALSE(AttributeValue::IsBound(Item('i', static_cast<int*>(nullptr))));
  unsigned long long q = 0;
  EXPECT_TRUE(AttributeValue::IsBound(Item('Q', &q)));

  double nan = std::nan("");
  EXPECT_TRUE(AttributeValue::Write(Item('d', &nan), doc.GetAllocator()).IsNull());
}

}  // namespace
