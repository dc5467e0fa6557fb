// Tests of the records that keep JSON values as text: layouts and event rules.
#include "records/layout_model.h"

#include <gtest/gtest.h>

#include <string>

#include "records/event_rule_model.h"
#include "records/json_text.h"
#include "records/record_test_util.h"

namespace pga {

namespace {

using pga_records::kMaxKeptDepth;
using pga_records_test::ParseOrFail;
using pga_records_test::Read;
using pga_records_test::Write;

std::string Nested(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(LayoutModelTest, BrokenOrTooDeepTextWritesNullOrEmpty) {
  // Backslashes leave items but properties keep their escapes; the stripped
  // items no longer parse, so they are written as [].
  auto layout = Read<LayoutModel>(
      R"({"items":[{"label":"say \"hi\"","path":"a\\b"}],"properties":"q\"uote"})");
  EXPECT_EQ(layout.items, R"([{"label":"say "hi"","path":"ab"}])");
  EXPECT_EQ(Write(layout), R"({"properties":"q\"uote","items":[]})");

  // One level beyond the kept depth is treated as absent: what was kept stays.
  const std::string deep = Nested(kMaxKeptDepth + 1);
  layout = Read<LayoutModel>(R"({"properties":{},"items":[]})");
  layout.FromJson(ParseOrFail(R"({"properties":)" + deep + R"(,"items":)" + deep + "}"));
  EXPECT_EQ(Write(layout), R"({"properties":{},"items":[]})");
  // Text set directly that does not parse, is empty or is too deep.
  const std::string texts[][2] = {{"{nope", R"({"a":1})"}, {"", ""}, {deep, deep}};
  for (const auto& text : texts) {
    layout.properties = text[0];
    layout.items = text[1];
    EXPECT_EQ(Write(layout), R"({"properties":null,"items":[]})") << text[0];
  }
}

TEST(EventRuleModelTest, KeptTextThatDoesNotParseIsWrittenAsAnEmptyArray) {
  // Non-arrays, a non-boolean "enabled" and too deep arrays are skipped.
  auto rule = Read<EventRuleModel>(R"({"ruleId":"r","ruleName":"n","triggers":[]})");
  rule.triggers = "not json";
  rule.actions = R"({"a":1})";
  EXPECT_EQ(Write(rule), R"({"ruleId":"r","ruleName":"n","triggers":[],"actions":[]})");
  rule.FromJson(ParseOrFail(R"({"triggers":{},"actions":"[1]","enabled":"0x1"})"));
  rule.FromJson(ParseOrFail(R"({"triggers":)" + Nested(kMaxKeptDepth + 1) + "}"));
  EXPECT_EQ(rule.triggers, "not json");
  EXPECT_FALSE(rule.enabled.has_value());
}

}  // namespace

}  // namespace pga
