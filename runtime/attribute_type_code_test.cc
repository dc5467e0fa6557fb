#include "runtime/attribute_type_code.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(AttributeTypeCodeTest, CountRunsFromTheFirstDigitAndTheLetterFollowsIt) {
  struct Case {
    const char* text;
    int count;
    char letter;
  };
  const Case cases[] = {
      {"i", 1, 'i'}, {"4i", 4, 'i'}, {"16B", 16, 'B'}, {"", 1, 'x'},
      {"4", 4, 'x'}, {"i4", 4, 'x'}, {"01d", 1, 'd'},  {"99999999999i", INT_MAX, 'i'}};
  for (const Case& c : cases) {
    const AttributeTypeCode code = AttributeTypeCode::Parse(c.text);
    EXPECT_EQ(code.count, c.count) << c.text;
    EXPECT_EQ(code.letter, c.letter) << c.text;
  }
  EXPECT_EQ(AttributeTypeCode::Format(1, 'i'), "i");
  EXPECT_EQ(AttributeTypeCode::Format(0, 'i'), "i");
  EXPECT_EQ(AttributeTypeCode::Format(3, 'i'), "3i");
}

}  // namespace
