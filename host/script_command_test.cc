#include "host/script_command.h"

#include <gtest/gtest.h>

#include <string>

#include "group/channel_list_param.h"
#include "group/group_request_param.h"
#include "host/counting_allocator.h"
#include "runtime/event.h"
#include "runtime/platform_string.h"
#include "runtime/vector.h"

namespace {

class ScriptCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallAllocator(&allocator_); }
  void TearDown() override {
    EXPECT_EQ(allocator_.LiveBlocks(), 0u);
    InstallAllocator(nullptr);
  }

  // The command of `line`, which must parse.
  static ScriptCommand Command(const std::string& line) {
    ParsedLine parsed = ParseScriptCommand(line);
    EXPECT_EQ(parsed.kind, ParsedLine::Kind::kCommand) << line << ": " << parsed.error;
    return std::move(parsed.command);
  }

  // The error of `line`, which must be refused.
  static std::string Error(const std::string& line) {
    ParsedLine parsed = ParseScriptCommand(line);
    EXPECT_EQ(parsed.kind, ParsedLine::Kind::kError) << line;
    EXPECT_EQ(parsed.command.payload, nullptr);
    return parsed.error;
  }

  CountingAllocator allocator_;
};

TEST_F(ScriptCommandTest, SkipsBlankAndCommentLines) {
  for (const char* line : {"", "   ", "\t\r", "# a comment", "   # indented comment", "#{"}) {
    EXPECT_EQ(ParseScriptCommand(line).kind, ParsedLine::Kind::kSkip) << '"' << line << '"';
  }
}

TEST_F(ScriptCommandTest, GroupRequestsCarryTheirRecord) {
  ScriptCommand create = Command(
      R"({"request":"CreateLogicalGroup","tableKey":3,"group":{"groupId":"g1","groupName":"A"}})");
  EXPECT_EQ(create.request, "CreateLogicalGroup");
  EXPECT_EQ(create.event_type, 25067003u);
  auto* request = dynamic_cast<GroupRequestParam*>(create.payload.get());
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(request->tableKey, 3u);
  ASSERT_NE(request->Group(), nullptr);
  EXPECT_EQ(*request->Group()->groupId, "g1");
  EXPECT_EQ(*request->Group()->groupName, "A");

  // No "group": a request record whose payload is a null group.
  ScriptCommand bare_group = Command(R"({"request":"DeleteLogicalGroup","group":null})");
  request = dynamic_cast<GroupRequestParam*>(bare_group.payload.get());
  ASSERT_NE(request, nullptr);
  EXPECT_TRUE(std::holds_alternative<std::shared_ptr<GroupModel>>(request->payload));
  EXPECT_EQ(request->Group(), nullptr);
  EXPECT_EQ(request->tableKey, 0u);

  ScriptCommand moves = Command(
      R"({"request":"ModifyLogicalMapping","items":[{"itemId":"a","order":2},{"itemId":"b"}]})");
  request = dynamic_cast<GroupRequestParam*>(moves.payload.get());
  ASSERT_NE(request, nullptr);
  ASSERT_NE(request->Items(), nullptr);
  ASSERT_EQ(request->Items()->size(), 2u);
  EXPECT_EQ(request->Items()->front()->order, 2);
  EXPECT_EQ(request->Items()->back()->itemId, "b");

  ScriptCommand no_moves = Command(R"({"request":"ModifyLogicalMapping"})");
  request = dynamic_cast<GroupRequestParam*>(no_moves.payload.get());
  ASSERT_NE(request, nullptr);
  EXPECT_TRUE(std::holds_alternative<std::shared_ptr<GroupOrderModelList>>(request->payload));
  EXPECT_EQ(request->Items(), nullptr);

  ScriptCommand groups = Command(R"({"request":"GetLogicalGroups"})");
  request = dynamic_cast<GroupRequestParam*>(groups.payload.get());
  ASSERT_NE(request, nullptr);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(request->payload));
  EXPECT_EQ(Command(R"({"request":"GetLogicalList"})").payload, nullptr);
  EXPECT_EQ(Command(R"({"request":"ClearLogicalGroups"})").event_type, 25058001u);
}

TEST_F(ScriptCommandTest, DeviceEventsAndGroupIdCarryTheirRecords) {
  ScriptCommand added =
      Command(R"({"request":"ChannelsAdded","channels":[{"channelId":"c1","createdTime":30},{}]})");
  EXPECT_EQ(added.event_type, 25060016u);
  auto* report = dynamic_cast<ChannelListParam*>(added.payload.get());
  ASSERT_NE(report, nullptr);
  ASSERT_NE(report->channels, nullptr);
  ASSERT_EQ(report->channels->size(), 2u);
  EXPECT_EQ(*report->channels->front()->channelId, "c1");
  EXPECT_EQ(*report->channels->front()->createdTime, 30);

  ScriptCommand no_list = Command(R"({"request":"ChannelsAdded"})");
  report = dynamic_cast<ChannelListParam*>(no_list.payload.get());
  ASSERT_NE(report, nullptr);
  ASSERT_NE(report->channels, nullptr);
  EXPECT_TRUE(report->channels->empty());
  ScriptCommand null_list = Command(R"({"request":"ChannelsAdded","channels":null})");
  report = dynamic_cast<ChannelListParam*>(null_list.payload.get());
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->channels, nullptr);

  ScriptCommand removed =
      Command(R"({"request":"ChannelsRemoved","channelIds":["c1","c\u00002"]})");
  auto* ids = dynamic_cast<Vector<std::string>*>(removed.payload.get());
  ASSERT_NE(ids, nullptr);
  ASSERT_EQ(ids->size(), 2u);
  EXPECT_EQ((*ids)[1], std::string("c\0"
                                   "2",
                                   3));

  ScriptCommand channels = Command(R"({"request":"GetGroupChannels","groupId":"g1"})");
  auto* id = dynamic_cast<Platform_Std_Refine::String*>(channels.payload.get());
  ASSERT_NE(id, nullptr);
  EXPECT_EQ(id->str(), "g1");
  EXPECT_EQ(Command(R"({"request":"GetGroupChannels"})").payload, nullptr);
}

TEST_F(ScriptCommandTest, BareAndPlainEventsHaveNoPayload) {
  ScriptCommand bare = Command(R"({"request":"CreateLogicalGroup","bare":true,"group":{}})");
  EXPECT_EQ(bare.event_type, 25067003u);
  EXPECT_EQ(bare.payload, nullptr);
  EXPECT_NE(Command(R"({"request":"GetLogicalGroups","bare":false})").payload, nullptr);

  ScriptCommand plain = Command(R"({"event":2006020,"arguments":-3})");
  EXPECT_TRUE(plain.request.empty());
  EXPECT_EQ(plain.event_type, 2006020u);
  EXPECT_EQ(plain.arguments, -3);
  EXPECT_EQ(plain.payload, nullptr);
  EXPECT_EQ(Command(R"({"event":4294967295})").event_type, 4294967295u);
  EXPECT_EQ(Command(R"({"event":2006026,"arguments":0})").event_type, 2006026u);
}

TEST_F(ScriptCommandTest, RefusesBadLinesWithAReason) {
  const struct {
    std::string line;
    std::string reason;
  } cases[] = {
      {"{\"request\":", "not JSON"},
      {"{\"request\":\"GetLogicalList\"} trailing", "not JSON"},
      {"[1,2]", "must be a JSON object"},
      {"\"GetLogicalList\"", "must be a JSON object"},
      {"{}", "needs a \"request\" or an \"event\""},
      {R"({"request":"getlogicallist"})", "unknown request \"getlogicallist\""},
      {R"({"request":7})", "\"request\" must be a string"},
      {R"({"request":"GetLogicalGroups","tableKey":-1})", "tableKey"},
      {R"({"request":"GetLogicalGroups","tableKey":4294967296})", "tableKey"},
      {R"({"request":"GetLogicalGroups","tableKey":"0"})", "tableKey"},
      {R"({"request":"GetLogicalGroups","bare":1})", "\"bare\""},
      {R"({"request":"CreateLogicalGroup","group":"g1"})", "\"group\" must be an object"},
      {R"({"request":"CreateLogicalGroup","bare":true,"group":[]})", "\"group\""},
      {R"({"request":"ModifyLogicalMapping","items":{}})", "\"items\" must be an array"},
      {R"({"request":"ModifyLogicalMapping","items":[{},3]})", "element 1 of \"items\""},
      {R"({"request":"ChannelsAdded","channels":[null]})", "element 0 of \"channels\""},
      {R"({"request":"ChannelsAdded","channels":"c1"})", "\"channels\" must be an array"},
      {R"({"request":"ChannelsRemoved","channelIds":["a",1]})", "element 1 of \"channelIds\""},
      {R"({"request":"GetGroupChannels","groupId":5})", "\"groupId\" must be a string"},
      {R"({"event":-1})", "\"event\""},
      {R"({"event":1e3})", "\"event\""},
      {R"({"event":"2006005"})", "\"event\""},
      {R"({"event":2006005,"arguments":0.5})", "\"arguments\""},
      {R"({"event":2006005,"arguments":18446744073709551615})", "\"arguments\""},
      {R"({"event":2006027,"arguments":140737488355328})", "only 0 is accepted"},
      {std::string(600, '[') + std::string(600, ']'), "not JSON"},
      {R"({"request":"CreateLogicalGroup","group":{"groupId":)" + std::string(600, '[') +
           std::string(600, ']') + "}}",
       "not JSON"},
  };
  for (const auto& c : cases) {
    EXPECT_NE(Error(c.line).find(c.reason), std::string::npos)
        << c.line.substr(0, 80) << " -> " << Error(c.line);
  }
}

TEST_F(ScriptCommandTest, OddButValidInputIsReadNotCrashedOn) {
  // Members of the wrong kind inside a record are the record's business:
  // its reader skips them.
  ScriptCommand odd = Command(
      R"({"request":"CreateLogicalGroup","group":{"groupId":12,"groupName":[[[["x"]]]],"createdTime":-5}})");
  auto* request = dynamic_cast<GroupRequestParam*>(odd.payload.get());
  ASSERT_NE(request, nullptr);
  ASSERT_NE(request->Group(), nullptr);
  EXPECT_FALSE(request->Group()->groupId.has_value());
  EXPECT_FALSE(request->Group()->groupName.has_value());

  // A long list is read whole.
  std::string ids = R"({"request":"ChannelsRemoved","channelIds":[)";
  for (int i = 0; i < 10000; ++i) ids += (i ? ",\"c" : "\"c") + std::to_string(i) + "\"";
  ids += "]}";
  auto removed = Command(ids);
  auto* list = dynamic_cast<Vector<std::string>*>(removed.payload.get());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->size(), 10000u);
  EXPECT_EQ(RequestEventType("GetGroupChannels"), 25067009u);
  EXPECT_EQ(RequestEventType("Nothing"), 0u);
}

TEST_F(ScriptCommandTest, PayloadWithoutStorageIsAnError) {
  allocator_.FailWith(CountingAllocator::Failure::kReturnNull, "GroupRequestParam");
  EXPECT_NE(Error(R"({"request":"GetLogicalGroups"})").find("no storage"), std::string::npos);
  allocator_.FailWith(CountingAllocator::Failure::kThrowStandard, "Vector");
  EXPECT_NE(Error(R"({"request":"ChannelsRemoved"})").find("no storage"), std::string::npos);
  allocator_.FailWith(CountingAllocator::Failure::kNone);
}

}  // namespace
