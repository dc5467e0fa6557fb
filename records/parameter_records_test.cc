#include <gtest/gtest.h>

#include <string>

#include "records/i_device_dispatcher.h"
#include "records/i_device_listener.h"
#include "records/i_group_application.h"
#include "runtime/allocator_test_fixture.h"

namespace pga {

namespace {

using ParameterRecordsTest = AllocatorTest;

TEST_F(ParameterRecordsTest, ResultParamTextFormAndStorage) {
  auto* result = new ("ResultParam") IDeviceDispatcher::ResultParam();
  ASSERT_NE(result, nullptr);
  result->code = 4000000;
  result->message = "Bad Request";
  result->extra_text_2 = "not written";
  BlobValue text = result->ToJsonText();
  EXPECT_EQ(text.kind, kBlobJson);
  EXPECT_EQ(Text(text), R"({"code":4000000,"message":"Bad Request"})");
  BaseObject::ReleaseText(text);

  // A message with a quote and a multi-byte character is escaped, not cut.
  result->message = "na\"me \xC3\xA9";
  text = result->ToJsonText();
  EXPECT_EQ(Text(text), "{\"code\":4000000,\"message\":\"na\\\"me \xC3\xA9\"}");
  BaseObject::ReleaseText(text);

  // No storage for the text: the failure line, and an empty cell.
  allocator_.FailWith(CountingAllocator::Failure::kReturnNull, "ResultParam");
  testing::internal::CaptureStdout();
  text = result->ToJsonText();
  const std::string printed = testing::internal::GetCapturedStdout();
  allocator_.FailWith(CountingAllocator::Failure::kNone);
  EXPECT_EQ(text.value, nullptr);
  EXPECT_EQ(text.size, 0u);
  EXPECT_NE(printed.find("MallocSafe("), std::string::npos) << printed;
  delete result;
}

TEST_F(ParameterRecordsTest, EventParamTextForm) {
  const std::int64_t before = NowMilliseconds();
  auto* param = new ("EventParam") IDeviceListener::EventParam();
  ASSERT_NE(param, nullptr);
  EXPECT_GE(param->eventTimeMsec, before);
  EXPECT_LE(param->eventTimeMsec, NowMilliseconds());

  param->eventType = "LogicalGroupCreated";
  param->eventTimeMsec = 1700000000123;
  EXPECT_EQ(param->ToJsonText(),
            R"({"eventType":"LogicalGroupCreated","eventTimeMsec":1700000000123,"message":{}})");
  param->message = std::make_shared<WebsocketEventModel>();
  param->message->logicalItems->push_back(
      std::make_shared<GroupOrderModel>("c1", "", "", "Channel", 5, 0));
  param->assignedUsers = std::set<std::string>{};
  param->assignedRoles = std::set<std::string>{"b", "a"};
  EXPECT_EQ(param->ToJsonText(),
            R"({"assignedUsers":[],"assignedRoles":["a","b"],"eventType":"LogicalGroupCreated",)"
            R"("eventTimeMsec":1700000000123,"message":{"logicalItems":[{"itemId":"c1",)"
            R"("type":"Channel","order":5}]}})");
  delete param;
}

TEST_F(ParameterRecordsTest, LogicalListTextFormCarriesNeitherList) {
  auto* list = new ("LogicalList") IGroupApplication::LogicalList();
  ASSERT_TRUE(list && list->groups && list->items);
  GroupOrderMap tree;
  tree["b"] = GroupOrderModel("b", "", "B", "Group", 1, 10);
  FillLogicalList(tree, *list);
  ASSERT_EQ(list->groups->size(), 1u);
  BlobValue text;
  list->Serialize(text);
  EXPECT_EQ(Text(text), R"({"name":"BaseObject"})");
  BaseObject::ReleaseText(text);
  delete list;
}

}  // namespace

}  // namespace pga
