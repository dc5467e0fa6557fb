#include "host/reply_writer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "group/group_request_param.h"
#include "host/counting_allocator.h"
#include "records/i_device_dispatcher.h"
#include "records/i_device_listener.h"
#include "records/i_group_application.h"
#include "runtime/vector.h"

namespace {

class ReplyWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallAllocator(&allocator_); }
  void TearDown() override {
    EXPECT_EQ(allocator_.LiveBlocks(), 0u);
    InstallAllocator(nullptr);
  }

  // The reply line for an event of `type` carrying `payload` (owned by the
  // event), handled as `handled` says.
  std::string Reply(const std::string& request, std::uint32_t type, BaseObject* payload,
                    bool handled = true) {
    DeliveryOutcome outcome;
    outcome.event.reset(Event::Create(UId(1, 0), UId(2, 0), type, 0, payload));
    outcome.handled = handled;
    writer_.WriteReply(request, type, outcome);
    return lines_.back();
  }

  CountingAllocator allocator_;
  std::vector<std::string> lines_;
  ReplyWriter writer_{[this](const std::string& line) { lines_.push_back(line); }};
};

TEST_F(ReplyWriterTest, RequestRecordGivesItsFlagAndPayload) {
  auto* created = new ("GroupRequestParam") GroupRequestParam();
  auto group = std::make_shared<GroupModel>("g1", "Lobby", 5);
  created->payload = group;
  created->succeeded = true;
  EXPECT_EQ(Reply("CreateLogicalGroup", 25067003, created),
            R"({"reply":"CreateLogicalGroup","eventType":25067003,"handled":true,)"
            R"("succeeded":true,"payload":{"groupId":"g1","groupName":"Lobby","createdTime":5}})");

  auto* items = new ("GroupRequestParam") GroupRequestParam();
  items->payload = std::make_shared<GroupOrderModelList>(GroupOrderModelList{
      std::make_shared<GroupOrderModel>("c1", "g1", "Cam", "Channel", 2, 0), nullptr});
  EXPECT_EQ(Reply("GetLogicalMappings", 25067006, items),
            R"({"reply":"GetLogicalMappings","eventType":25067006,"handled":true,)"
            R"("succeeded":false,"payload":[{"itemId":"c1","parentId":"g1","type":"Channel",)"
            R"("order":2},null]})");

  auto* groups = new ("GroupRequestParam") GroupRequestParam();
  groups->payload = std::make_shared<GroupModelList>();
  EXPECT_NE(Reply("GetLogicalGroups", 25067002, groups).find(R"("payload":[])"), std::string::npos);
  auto* empty = new ("GroupRequestParam") GroupRequestParam();
  EXPECT_NE(Reply("GetLogicalGroups", 25067002, empty).find(R"("payload":null)"),
            std::string::npos);
  auto* null_group = new ("GroupRequestParam") GroupRequestParam();
  null_group->payload = std::shared_ptr<GroupModel>();
  EXPECT_NE(Reply("DeleteLogicalGroup", 25067005, null_group).find(R"("payload":null)"),
            std::string::npos);
}

TEST_F(ReplyWriterTest, OtherAnswersHaveTheirOwnMembers) {
  auto* result = new ("ResultParam") IDeviceDispatcher::ResultParam();
  result->code = 4000000;
  result->message = "Bad \"Request\"";
  EXPECT_EQ(Reply("ModifyLogicalGroup", 25067004, result),
            R"({"reply":"ModifyLogicalGroup","eventType":25067004,"handled":true,)"
            R"("result":{"code":4000000,"message":"Bad \"Request\""}})");

  auto* list = new ("LogicalList") IGroupApplication::LogicalList();
  list->groups->push_back(std::make_shared<GroupModel>("g1", "A", 7));
  list->items->push_back(std::make_shared<GroupOrderModel>("g1", "", "A", "Group", 1, 7));
  EXPECT_EQ(Reply("GetLogicalList", 25067001, list),
            R"({"reply":"GetLogicalList","eventType":25067001,"handled":true,"logicalList":)"
            R"({"groups":[{"groupId":"g1","groupName":"A","createdTime":7}],)"
            R"("items":[{"itemId":"g1","type":"Group","order":1}]}})");

  auto* channels = new ("Vector") Vector<std::string>();
  channels->push_back("c1");
  channels->push_back("c2");
  EXPECT_EQ(Reply("GetGroupChannels", 25067009, channels),
            R"({"reply":"GetGroupChannels","eventType":25067009,"handled":true,)"
            R"("channels":["c1","c2"]})");

  // A plain event names its number; a payload of no known class adds nothing.
  EXPECT_EQ(Reply("", 2006005, new ("BaseObject") BaseObject(), false),
            R"({"reply":2006005,"eventType":2006005,"handled":false})");
}

TEST_F(ReplyWriterTest, FailuresAndErrorLines) {
  DeliveryOutcome thrown;
  thrown.event.reset(Event::Create(UId(1, 0), UId(2, 0), 25067008, 0));
  thrown.failure = DeliveryOutcome::Failure{2004005, "eEventNotSupported"};
  writer_.WriteReply("", 25067008, thrown);
  EXPECT_EQ(lines_.back(), R"({"reply":25067008,"eventType":25067008,"handled":false,)"
                           R"("error":{"type":2004005,"message":"eEventNotSupported"}})");

  DeliveryOutcome no_event;
  no_event.failure = DeliveryOutcome::Failure{-1, "no storage for the event"};
  writer_.WriteReply("GetLogicalList", 25067001, no_event);
  EXPECT_EQ(lines_.back(), R"({"reply":"GetLogicalList","eventType":25067001,"handled":false,)"
                           R"("error":{"type":-1,"message":"no storage for the event"}})");

  writer_.WriteLineError(12, "not JSON");
  EXPECT_EQ(lines_.back(), R"({"error":{"line":12,"message":"not JSON"}})");
}

TEST_F(ReplyWriterTest, NotificationCarriesTheRecordsTextForm) {
  auto* param = new ("EventParam") IDeviceListener::EventParam();
  param->eventType = "LogicalGroupDeleted";
  param->eventTimeMsec = 42;
  param->message = std::make_shared<WebsocketEventModel>();
  param->message->groups->push_back(std::make_shared<GroupModel>());
  std::unique_ptr<Event> note(Event::Create(UId(2, 0), UId(3, 0), 25040002, 0, param));
  writer_.WriteNotification(*note);
  EXPECT_EQ(lines_.back(), R"({"notification":{"eventType":"LogicalGroupDeleted",)"
                           R"("eventTimeMsec":42,"message":{"groups":[{}]}}})");

  std::unique_ptr<Event> other(Event::Create(UId(2, 0), UId(3, 0), 25040002, 0));
  writer_.WriteNotification(*other);
  EXPECT_EQ(lines_.back(), R"({"notification":null,"eventType":25040002})");
}

}  // namespace
