#include "records/websocket_event_model.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "records/json_text.h"
#include "records/record_test_util.h"

namespace {

using pga_records_test::ParseOrFail;
using pga_records_test::RoundTrip;
using pga_records_test::Write;

std::size_t TotalSize(const WebsocketEventModel& event) {
  return event.systems->size() + event.servers->size() + event.devices->size() +
         event.channels->size() + event.eventRules->size() + event.users->size() +
         event.layouts->size() + event.groups->size() + event.logicalItems->size();
}

TEST(WebsocketEventModelTest, WritesNonEmptyListsInMemberOrder) {
  WebsocketEventModel event;
  EXPECT_EQ(Write(event), "{}");
  event.logicalItems->push_back(
      std::make_shared<GroupOrderModel>("c2", "g1", "Door", "Channel", 1, 5));
  event.logicalItems->push_back(std::make_shared<GroupOrderModel>());
  EXPECT_EQ(Write(event),
            R"({"logicalItems":[{"itemId":"c2","parentId":"g1","type":"Channel","order":1},)"
            R"({"itemId":"","type":"","order":-1}]})");

  // Every list, read in an order of its own, is written in member order.
  const std::string in = R"({"logicalItems":[{"itemId":"i"}],"groups":[{"groupId":"g"}],)"
                         R"("layouts":[{"layoutId":"l"}],"users":[{"userId":"u"}],)"
                         R"("eventRules":[{"ruleId":"r"}],"channels":[{"channelId":"c"}],)"
                         R"("devices":[{"deviceId":"d"}],"servers":[{"serverId":"s"}],)"
                         R"("systems":[{"systemId":"y"}],"unknown":[{}]})";
  EXPECT_EQ(RoundTrip<WebsocketEventModel>(in),
            R"({"systems":[{"systemId":"y"}],"servers":[{"serverId":"s"}],)"
            R"("devices":[{"deviceId":"d"}],"channels":[{"channelId":"c"}],)"
            R"("eventRules":[{"ruleId":"r"}],"users":[{"userId":"u"}],)"
            R"("layouts":[{"layoutId":"l"}],"groups":[{"groupId":"g"}],)"
            R"("logicalItems":[{"itemId":"i","type":"","order":-1}]})");
}

TEST(WebsocketEventModelTest, ReadingAppendsToTheLists) {
  WebsocketEventModel event;
  event.FromJson(ParseOrFail(R"({"groups":[]})"));
  EXPECT_EQ(TotalSize(event), 0u);

  const auto doc = ParseOrFail(
      R"({"groups":[{"groupId":"a"},{"groupId":"b"}],"channels":[{"channelIndex":1}]})");
  event.FromJson(doc);
  event.FromJson(doc);
  ASSERT_EQ(event.groups->size(), 4u);
  EXPECT_EQ(event.channels->size(), 2u);
  EXPECT_EQ(event.groups->back()->groupId, "b");

  // A key that is not an array is skipped; an element that is not an object
  // gives a record with its defaults.
  event.FromJson(ParseOrFail(R"({"groups":{"groupId":"c"},"users":[1,null]})"));
  EXPECT_EQ(event.groups->size(), 4u);
  ASSERT_EQ(event.users->size(), 2u);
  EXPECT_EQ(Write(*event.users->front()), "{}");
}

TEST(WebsocketEventModelTest, RecordsAreSharedAndNullsAreTolerated) {
  auto group = std::make_shared<GroupModel>("g1", "Hall", 7);
  WebsocketEventModel first;
  WebsocketEventModel second;
  first.groups->push_back(group);
  second.groups->push_back(group);
  group->groupName = "Lobby";
  EXPECT_EQ(Write(first), Write(second));
  EXPECT_EQ(Write(first), R"({"groups":[{"groupId":"g1","groupName":"Lobby","createdTime":7}]})");

  first.groups->push_back(nullptr);
  first.users = nullptr;
  EXPECT_EQ(Write(first), R"({"groups":[{"groupId":"g1","groupName":"Lobby","createdTime":7}]})");
  first.FromJson(ParseOrFail(R"({"users":[{"userId":"u"}]})"));
  ASSERT_NE(first.users, nullptr);
  EXPECT_EQ(first.users->size(), 1u);
}

TEST(WebsocketEventModelTest, DeepestKeptValuesStillFitInANotification) {
  // A layout and an event rule holding values at the kept-depth limit, in a
  // notification wrapped the way the event parameter writes it.
  const std::size_t depth = pga_records::kMaxKeptDepth;
  const std::string deep = std::string(depth, '[') + std::string(depth, ']');
  auto layout = std::make_shared<LayoutModel>();
  layout->FromJson(ParseOrFail(R"({"properties":)" + deep + R"(,"items":)" + deep + "}"));
  auto rule = std::make_shared<EventRuleModel>();
  rule->FromJson(ParseOrFail(R"({"ruleId":"r","ruleName":"n","actions":)" + deep + "}"));
  ASSERT_TRUE(layout->properties.has_value());
  ASSERT_TRUE(rule->actions.has_value());

  WebsocketEventModel event;
  event.layouts->push_back(layout);
  event.eventRules->push_back(rule);
  rapidjson::Document doc(rapidjson::kObjectType);
  rapidjson::Value message(rapidjson::kObjectType);
  event.ToJson(message, doc.GetAllocator());
  doc.AddMember("message", message, doc.GetAllocator());
  std::string text;
  EXPECT_TRUE(pga_json::WriteCompact(doc, text));
  rapidjson::Document back;
  EXPECT_TRUE(pga_json::Parse(back, text));

  // Read back from that text, the record keeps the same values.
  WebsocketEventModel reread;
  reread.FromJson(back["message"]);
  ASSERT_EQ(reread.layouts->size(), 1u);
  EXPECT_EQ(reread.layouts->front()->properties, layout->properties);
  EXPECT_EQ(reread.eventRules->front()->actions, rule->actions);
}

}  // namespace
