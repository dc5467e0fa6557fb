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

TEST(WebsocketEventModelTest, ReadingAppendsAndNullsAreTolerated) {
  // A key that is not an array is skipped; an element that is not an object
  // gives a record with its defaults.
  WebsocketEventModel event;
  const auto doc = ParseOrFail(R"({"groups":[{"groupId":"a"},{"groupId":"b"}],"users":[1]})");
  event.FromJson(doc);
  event.FromJson(doc);
  event.FromJson(ParseOrFail(R"({"groups":{"groupId":"c"}})"));
  EXPECT_EQ(Write(event), R"({"users":[{},{}],"groups":[{"groupId":"a"},{"groupId":"b"},)"
                          R"({"groupId":"a"},{"groupId":"b"}]})");

  event.groups->push_back(nullptr);
  event.users = nullptr;
  event.channels = nullptr;
  EXPECT_EQ(Write(event), R"({"groups":[{"groupId":"a"},{"groupId":"b"},{"groupId":"a"},)"
                          R"({"groupId":"b"}]})");
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
