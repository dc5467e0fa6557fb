#include "host/script_reader.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace {

struct ReadLine {
  std::size_t number;
  std::string text;
  bool too_long;
};

// Every line of `text`, read with a bound of `max_bytes`.
std::vector<ReadLine> ReadAll(std::string text, std::size_t max_bytes) {
  std::FILE* input = fmemopen(text.data(), text.size(), "r");
  EXPECT_NE(input, nullptr);
  std::vector<ReadLine> lines;
  if (input == nullptr) return lines;
  ScriptReader reader(input, max_bytes);
  std::string line;
  while (reader.Next(line)) lines.push_back({reader.line_number(), line, reader.too_long()});
  std::fclose(input);
  return lines;
}

TEST(ScriptReaderTest, SplitsLinesAndNumbersThem) {
  const auto lines = ReadAll("first\r\n\nthird\nlast without end", 100);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].text, "first");
  EXPECT_EQ(lines[1].text, "");
  EXPECT_EQ(lines[3].text, "last without end");
  EXPECT_EQ(lines[3].number, 4u);
  EXPECT_TRUE(ReadAll("", 100).empty());
  // A NUL byte is part of the line, not its end.
  EXPECT_EQ(ReadAll(std::string("a\0b\n", 4), 100)[0].text, std::string("a\0b", 3));
}

TEST(ScriptReaderTest, OverlongLineIsDroppedAndReadingGoesOn) {
  const auto lines = ReadAll("12345\n123456789\n1234", 5);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].text + "|" + lines[1].text + "|" + lines[2].text, "12345||1234");
  EXPECT_EQ(std::vector<bool>({lines[0].too_long, lines[1].too_long, lines[2].too_long}),
            std::vector<bool>({false, true, false}));
  EXPECT_EQ(lines[2].number, 3u);
}

}  // namespace
