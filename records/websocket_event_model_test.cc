#include "records/websocket_event_model.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "records/json_text.h"
#include "records/record_test_util.h"

namespace pga {

namespace {

using pga_records_test::ParseOrFail;
using pga_records_test::Write;

TEST(WebsocketEventModelTest, MissingListsAndRecordsAreSkipped) {
  WebsocketEventModel event;
  event.FromJson(ParseOrFail(R"({"groups":[{"groupId":"a"}],"users":[{}]})"));
  event.groups->push_back(nullptr);
  event.users = nullptr;
  event.channels = nullptr;
  EXPECT_EQ(Write(event), R"({"groups":[{"groupId":"a"}]})");
  event.FromJson(ParseOrFail(R"({"users":[{"userId":"u"}]})"));
  ASSERT_NE(event.users, nullptr);
  EXPECT_EQ(event.users->size(), 1u);
}

TEST(WebsocketEventModelTest, DeepestKeptValuesStillFitInANotification) {
  // A layout and an event rule holding values at the kept-depth limit, in a
  // notification wrapped the way the event parameter writes it, read back.
  const std::size_t depth = pga_records::kMaxKeptDepth;
  const std::string deep = std::string(depth, '[') + std::string(depth, ']');
  const std::string text = R"({"message":{"eventRules":[{"ruleId":"r","ruleName":"n","actions":)" +
                           deep + R"(}],"layouts":[{"properties":)" + deep + "}]}}";
  WebsocketEventModel event;
  event.FromJson(ParseOrFail(text)["message"]);
  rapidjson::Document doc(rapidjson::kObjectType);
  rapidjson::Value message(rapidjson::kObjectType);
  event.ToJson(message, doc.GetAllocator());
  doc.AddMember("message", message, doc.GetAllocator());
  std::string written;
  ASSERT_TRUE(pga_json::WriteCompact(doc, written));
  EXPECT_EQ(written, text);
}

}  // namespace

}  // namespace pga
