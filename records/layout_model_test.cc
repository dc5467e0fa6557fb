// Tests of the records that keep JSON values as text: layouts and event rules.
#include "records/layout_model.h"

#include <gtest/gtest.h>

#include <string>

#include "records/event_rule_model.h"
#include "records/json_text.h"
#include "records/record_test_util.h"

namespace {

using pga_records::kMaxKeptDepth;
using pga_records_test::ParseOrFail;
using pga_records_test::Read;
using pga_records_test::RoundTrip;
using pga_records_test::Write;

std::string Nested(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(LayoutModelTest, RoundTripKeepsValuesAsCompactText) {
  EXPECT_EQ(RoundTrip<LayoutModel>(
                R"({"items":[ {"x" : 1, "y":[2]}, 3 ],"properties":{ "grid" : "2x2" },)"
                R"("webpageIds":["w"],"channelIds":["c2","c1","c2"],"layoutName":"Wall",)"
                R"("layoutId":"l1"})"),
            R"({"layoutId":"l1","layoutName":"Wall","channelIds":["c1","c2"],)"
            R"("webpageIds":["w"],"properties":{"grid":"2x2"},"items":[{"x":1,"y":[2]},3]})");
}

TEST(LayoutModelTest, NumbersKeepTheirValueThroughEveryRoundTrip) {
  // Found by fuzzing: a parse without full precision moved the last digits
  // of a large number a little on every pass through the record.
  const std::string in = R"({"layoutId":"l1","items":[{"x":7.777777777777774e149,"y":[2]},3]})";
  const std::string once = RoundTrip<LayoutModel>(in);
  EXPECT_EQ(once, in);
  EXPECT_EQ(RoundTrip<LayoutModel>(once), in);
  EXPECT_EQ(RoundTrip<LayoutModel>(R"({"properties":{"zoom":0.1,"max":1.7976931348623157e308}})"),
            R"({"properties":{"zoom":0.1,"max":1.7976931348623157e308}})");
}

TEST(LayoutModelTest, BrokenOrTooDeepTextWritesNullOrEmpty) {
  // Backslashes leave items but properties keep their escapes; the stripped
  // items no longer parse, so they are written as [].
  auto layout = Read<LayoutModel>(
      R"({"items":[{"label":"say \"hi\"","path":"a\\b"}],"properties":"q\"uote"})");
  EXPECT_EQ(layout.items, R"([{"label":"say "hi"","path":"ab"}])");
  EXPECT_EQ(Write(layout), R"({"properties":"q\"uote","items":[]})");
  // A non-array items value is kept as text as read, and written as [].
  EXPECT_EQ(RoundTrip<LayoutModel>(R"({"items":7,"properties":null})"),
            R"({"properties":null,"items":[]})");

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

TEST(EventRuleModelTest, RoundTripAndWritingStopsWithoutIdOrName) {
  EXPECT_EQ(RoundTrip<EventRuleModel>(R"({"actions":[{"do":"record", "for":[1,2]}],"triggers":[],)"
                                      R"("enabled":false,"ruleName":"night","ruleId":"r1"})"),
            R"({"ruleId":"r1","ruleName":"night","enabled":false,"triggers":[],)"
            R"("actions":[{"do":"record","for":[1,2]}]})");
  EventRuleModel rule;
  rule.ruleName = "n";
  EXPECT_EQ(Write(rule), "{}");
  rule.ruleName.reset();
  rule.ruleId = "r";
  EXPECT_EQ(Write(rule), R"({"ruleId":"r"})");

  // Kept text that does not parse is written as []; non-arrays, a
  // non-boolean "enabled" and too deep arrays are skipped.
  rule = Read<EventRuleModel>(R"({"ruleId":"r","ruleName":"n","triggers":[]})");
  rule.triggers = "not json";
  rule.actions = R"({"a":1})";
  EXPECT_EQ(Write(rule), R"({"ruleId":"r","ruleName":"n","triggers":[],"actions":[]})");
  rule.FromJson(ParseOrFail(R"({"triggers":{},"actions":"[1]","enabled":"0x1"})"));
  rule.FromJson(ParseOrFail(R"({"triggers":)" + Nested(kMaxKeptDepth + 1) + "}"));
  EXPECT_EQ(rule.triggers, "not json");
  EXPECT_FALSE(rule.enabled.has_value());
}

}  // namespace
