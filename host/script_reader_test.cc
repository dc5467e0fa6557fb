#include "host/script_reader.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <string>

namespace pga {

namespace {

// Every line of `text` read with a bound of `max_bytes`, as
// "<number>:<text>" with a "!" for a line too long, joined by "|".
std::string ReadAll(std::string text, std::size_t max_bytes) {
  std::FILE* input = fmemopen(text.data(), text.size(), "r");
  if (input == nullptr) return "fmemopen failed";
  ScriptReader reader(input, max_bytes);
  std::string all;
  for (std::string line; reader.Next(line);) {
    all += std::to_string(reader.line_number()) + ":" + line + (reader.too_long() ? "!|" : "|");
  }
  std::fclose(input);
  return all;
}

TEST(ScriptReaderTest, SplitsNumbersAndDropsOverlongLines) {
  EXPECT_EQ(ReadAll("first\r\n\nthird\nlast without end", 100),
            "1:first|2:|3:third|4:last without end|");
  EXPECT_EQ(ReadAll("", 100), "");
  // A NUL byte is part of the line, not its end.
  EXPECT_EQ(ReadAll(std::string("a\0b\n", 4), 100), std::string("1:a\0b|", 6));
  EXPECT_EQ(ReadAll("12345\n123456789\n1234", 5), "1:12345|2:!|3:1234|");
}

}  // namespace

}  // namespace pga
