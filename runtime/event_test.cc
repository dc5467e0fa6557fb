#include "runtime/event.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/allocator_test_fixture.h"
#include "runtime/blob.h"
#include "runtime/platform_string.h"

namespace pga {

namespace {

using Platform_Std_Refine::String;
using EventTest = AllocatorTest;

std::string SerializeToText(const BaseObject& object) {
  BlobValue cell;
  object.Serialize(cell);
  std::string text = Text(cell);
  BaseObject::ReleaseText(cell);
  return text;
}

// JSON text in storage from the runtime allocator, as a payload.
char* AllocatedText(const char* text) {
  const std::size_t length = std::strlen(text);
  auto* storage = static_cast<char*>(BaseObject::allocator->MallocSafe(length + 1, "Json"));
  std::memcpy(storage, text, length + 1);
  return storage;
}

TEST_F(EventTest, NewEventsTakeConsecutiveNumbersAndTheDefaultsAndWriteThePayloadKind) {
  Event first(UId(1, 2), UId(3, 4), 25067001, -5);
  Event second;
  EXPECT_EQ(second.GetEventId(), first.GetEventId() + 1);

  first.SetChannelIndex(3);
  const std::string id = std::to_string(first.GetEventId());
  EXPECT_EQ(SerializeToText(first),
            "{\"BaseObject\":{\"name\":\"Event\"},\"event_id\":" + id +
                ",\"source_uid\":{\"BaseObject\":{\"name\":\"UId\"},\"component_id\":1,"
                "\"event_queue_ptr\":2},\"target_uid\":{\"BaseObject\":{\"name\":\"UId\"},"
                "\"component_id\":3,\"event_queue_ptr\":4},\"event_type\":25067001,"
                "\"event_reply_type\":-1,\"arguments\":-5,\"sync_type\":1,\"send_order\":1,"
                "\"children_count\":0,\"channel_index\":3,\"reply_flag\":0}");

  // A payload's kind is written only when the payload is not empty.
  first.MutableBlob().SetJson(AllocatedText("{}"));
  first.MutableBlob().SetSize(2);
  EXPECT_NE(SerializeToText(first).find(",\"object_argument\":\"Json\","), std::string::npos);
  first.MutableBlob().SetSize(0);
  EXPECT_EQ(SerializeToText(first).find("object_argument"), std::string::npos);
  first.ReplaceObjectArgument(new ("String") String("kept"));
  EXPECT_NE(SerializeToText(first).find(",\"object_argument\":\"BaseObject\","), std::string::npos);
}

TEST_F(EventTest, OwnsOnePayloadAndNeitherFreesNorLeaksItOnHandOvers) {
  // Given its own payload again, the event keeps it instead of deleting it
  // and holding on to the freed block.
  Event event;
  event.ReplaceObjectArgument(new ("String") String("kept"));
  event.ReplaceObjectArgument(event.GetObjectArgument());
  EXPECT_EQ(allocator_.LiveBlocks(), 1u);
  ASSERT_NE(event.GetObjectArgument(), nullptr);
  EXPECT_EQ(static_cast<String*>(event.GetObjectArgument())->str(), "kept");
  EXPECT_EQ(event.GetBlob().GetSize(), event.GetObjectArgument()->GetSize());

  // Reading "object_argument" over a payload the event owns releases that
  // payload (the fixture counts the blocks), object and text alike.
  event.Deserialize(JsonCell("{\"object_argument\":\"Json\"}"));
  EXPECT_EQ(event.GetBlob().GetKind(), kBlobJson);
  EXPECT_EQ(event.GetBlob().GetValue(), nullptr);
  event.MutableBlob().SetJson(AllocatedText("{}"));
  event.MutableBlob().SetSize(2);
  event.Deserialize(JsonCell("{\"object_argument\":\"BaseObject\"}"));
  EXPECT_EQ(event.GetBlob().GetKind(), kBlobObject);
  EXPECT_EQ(event.GetBlob().GetValue(), nullptr);
  EXPECT_TRUE(event.GetBlob().HasValue());
  EXPECT_EQ(allocator_.LiveBlocks(), 0u);

  // Another payload releases the one held; one taken out is the caller's.
  event.ReplaceObjectArgument(new ("String") String("first"));
  auto* payload = new ("String") String("taken");
  event.ReplaceObjectArgument(payload);
  EXPECT_EQ(allocator_.LiveBlocks(), 1u);
  EXPECT_EQ(event.TakeObjectArgument(), payload);
  EXPECT_EQ(event.TakeObjectArgument(), nullptr);
  delete payload;
}

TEST_F(EventTest, AllocationFailuresYieldNoEventAndAnAllocatorExceptionIsReported) {
  allocator_.FailWith(CountingAllocator::Failure::kReturnNull, "Event");
  EXPECT_EQ(Event::Create(UId(), UId(), 1, 0), nullptr);
  EXPECT_TRUE(allocator_.Reports().empty());

  allocator_.FailWith(CountingAllocator::Failure::kThrowException, "Event");
  EXPECT_EQ(Printed([] { EXPECT_EQ(Event::Create(UId(), UId(), 1, 0), nullptr); }),
            "Event::operator new, 10Execption(-7) @ CountingAllocator::MallocSafe => "
            "allocation refused\n");
  EXPECT_EQ(allocator_.Reports(), std::vector<std::string>{"EVENTEVENTEVENTEVENT"});

  allocator_.FailWith(CountingAllocator::Failure::kThrowStandard, "Event");
  EXPECT_THROW(Event::Create(UId(), UId(), 1, 0), std::runtime_error);
  EXPECT_EQ(new ("Event") Event(), nullptr);

  InstallAllocator(nullptr);
  EXPECT_EQ(Event::Create(UId(), UId(), 1, 0), nullptr);
  InstallAllocator(&allocator_);
}

}  // namespace

}  // namespace pga
