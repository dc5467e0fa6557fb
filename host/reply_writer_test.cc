#include "host/reply_writer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "doubles/counting_allocator.h"
#include "group/group_request_param.h"
#include "records/i_group_application.h"

namespace pga {

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

// Every kind of reply is written in the end-to-end expected files; these are
// the answers a script cannot provoke.
TEST_F(ReplyWriterTest, NullRecordsAndPayloadsOfNoKnownClass) {
  auto* items = new ("GroupRequestParam") GroupRequestParam();
  items->payload = std::make_shared<GroupOrderModelList>(GroupOrderModelList{
      std::make_shared<GroupOrderModel>("c1", "g1", "Cam", "Channel", 2, 0), nullptr});
  EXPECT_EQ(Reply("GetLogicalMappings", 25067006, items),
            R"({"reply":"GetLogicalMappings","eventType":25067006,"handled":true,)"
            R"("succeeded":false,"payload":[{"itemId":"c1","parentId":"g1","type":"Channel",)"
            R"("order":2},null]})");
  auto* empty = new ("GroupRequestParam") GroupRequestParam();
  EXPECT_NE(Reply("GetLogicalGroups", 25067002, empty).find(R"("payload":null)"),
            std::string::npos);
  EXPECT_EQ(Reply("", 2006005, new ("BaseObject") BaseObject(), false),
            R"({"reply":2006005,"eventType":2006005,"handled":false})");

  std::unique_ptr<Event> other(Event::Create(UId(2, 0), UId(3, 0), 25040002, 0));
  writer_.WriteNotification(*other);
  EXPECT_EQ(lines_.back(), R"({"notification":null,"eventType":25040002})");
}

TEST_F(ReplyWriterTest, AFailureWithoutAnEventStillAnswers) {
  DeliveryOutcome no_event;
  no_event.failure = DeliveryOutcome::Failure{-1, "no storage for the event"};
  writer_.WriteReply("GetLogicalList", 25067001, no_event);
  EXPECT_EQ(lines_.back(), R"({"reply":"GetLogicalList","eventType":25067001,"handled":false,)"
                           R"("error":{"type":-1,"message":"no storage for the event"}})");
}

// The list is written record by record, between the members before it and
// the error after it.
TEST_F(ReplyWriterTest, ALogicalListKeepsItsPlaceAmongTheMembers) {
  auto* list = new ("LogicalList") IGroupApplication::LogicalList();
  list->items->push_back(std::make_shared<GroupOrderModel>("g1", "", "G", "Group", 1, 0));
  list->items->push_back(nullptr);
  DeliveryOutcome outcome;
  outcome.event.reset(Event::Create(UId(1, 0), UId(2, 0), 25067001, 0, list));
  outcome.failure = DeliveryOutcome::Failure{7, "late"};
  writer_.WriteReply("GetLogicalList", 25067001, outcome);
  EXPECT_EQ(lines_.back(), R"({"reply":"GetLogicalList","eventType":25067001,"handled":false,)"
                           R"("logicalList":{"groups":[],"items":[{"itemId":"g1","type":"Group",)"
                           R"("order":1},null]},"error":{"type":7,"message":"late"}})");
}

// A list longer than a part goes to a part sink piece by piece, none longer
// than a part, the line end flagged on the last only; together the pieces
// are the line a whole-line sink receives.
TEST_F(ReplyWriterTest, ALongLineIsHandedOnInParts) {
  auto reply = [](ReplyWriter& writer) {
    auto* list = new ("LogicalList") IGroupApplication::LogicalList();
    for (int i = 0; i < 3000; ++i) {
      list->items->push_back(std::make_shared<GroupOrderModel>(
          "item-" + std::to_string(i), "group-" + std::to_string(i % 7), "N", "Channel", i, 0));
    }
    DeliveryOutcome outcome;
    outcome.event.reset(Event::Create(UId(1, 0), UId(2, 0), 25067001, 0, list));
    outcome.handled = true;
    writer.WriteReply("GetLogicalList", 25067001, outcome);
  };
  std::vector<std::string> parts;
  std::vector<bool> ends;
  ReplyWriter in_parts([&](std::string_view part, bool last) {
    parts.emplace_back(part);
    ends.push_back(last);
  });
  reply(in_parts);
  reply(writer_);

  ASSERT_GE(parts.size(), 3u);
  std::string joined;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    EXPECT_LE(parts[i].size(), ReplyWriter::kPartBytes);
    EXPECT_EQ(ends[i], i + 1 == parts.size());
    joined += parts[i];
  }
  EXPECT_EQ(joined, lines_.back());
  EXPECT_NE(joined.find(R"({"itemId":"item-2999","parentId":"group-3","type":"Channel",)"
                        R"("order":2999}]}})"),
            std::string::npos);

  // Short lines are one part each.
  writer_.WriteLineError(4, "bad");
  in_parts.WriteLineError(4, "bad");
  EXPECT_EQ(parts.back(), lines_.back());
  EXPECT_TRUE(ends.back());
}

}  // namespace

}  // namespace pga
