#include "host/script_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "doubles/counting_allocator.h"
#include "group/group_request_param.h"
#include "runtime/event.h"
#include "runtime/vector.h"

namespace pga {

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

// Every request kind, bare requests, plain events and the common refusals run
// in the end-to-end scripts; these are the records a reply does not show and
// the refusals no script makes.
TEST_F(ScriptCommandTest, RequestsCarryTheirRecords) {
  // Members of the wrong kind inside a record are skipped by its reader.
  ScriptCommand create = Command(R"({"request":"CreateLogicalGroup","tableKey":3,)"
                                 R"("group":{"groupId":12,"groupName":"A","createdTime":-5}})");
  auto* request = dynamic_cast<GroupRequestParam*>(create.payload.get());
  ASSERT_TRUE(request && request->Group());
  EXPECT_EQ(request->tableKey, 3u);
  EXPECT_EQ(*request->Group()->groupName, "A");
  EXPECT_FALSE(request->Group()->groupId.has_value());

  ScriptCommand removed =
      Command(R"({"request":"ChannelsRemoved","channelIds":["c1","c\u00002"]})");
  auto* ids = dynamic_cast<Vector<std::string>*>(removed.payload.get());
  ASSERT_NE(ids, nullptr);
  EXPECT_EQ(ids->elements(), (std::vector<std::string>{"c1", std::string("c\0002", 3)}));
  EXPECT_EQ(Command(R"({"event":2006026,"arguments":0})").event_type, 2006026u);
}

TEST_F(ScriptCommandTest, RefusesBadLinesWithAReason) {
  const struct {
    std::string line;
    std::string reason;
  } cases[] = {
      {"{\"request\":\"GetLogicalList\"} trailing", "not JSON"},
      {"\"GetLogicalList\"", "must be a JSON object"},
      {R"({"request":"getlogicallist"})", "unknown request \"getlogicallist\""},
      {R"({"request":7})", "\"request\" must be a string"},
      {R"({"request":"GetLogicalGroups","tableKey":4294967296})", "tableKey"},
      {R"({"request":"GetLogicalGroups","tableKey":"0"})", "tableKey"},
      {R"({"request":"GetLogicalGroups","bare":1})", "\"bare\""},
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
  };
  for (const auto& c : cases) {
    EXPECT_NE(Error(c.line).find(c.reason), std::string::npos)
        << c.line.substr(0, 80) << " -> " << Error(c.line);
  }
}

TEST_F(ScriptCommandTest, PayloadWithoutStorageIsAnError) {
  allocator_.FailWith(CountingAllocator::Failure::kReturnNull, "GroupRequestParam");
  EXPECT_NE(Error(R"({"request":"GetLogicalGroups"})").find("no storage"), std::string::npos);
  allocator_.FailWith(CountingAllocator::Failure::kThrowStandard, "Vector");
  EXPECT_NE(Error(R"({"request":"ChannelsRemoved"})").find("no storage"), std::string::npos);
  allocator_.FailWith(CountingAllocator::Failure::kNone);
}

}  // namespace

}  // namespace pga
