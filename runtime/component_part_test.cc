#include "runtime/component_part.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "doubles/recording_event_queue.h"
#include "runtime/allocator_test_fixture.h"

namespace pga {

// Payload of the sending tests; outside any unnamed namespace so that its
// name in the printed signature is plain.
class TestPayload : public BaseObject {
 public:
  TestPayload() : BaseObject("TestPayload") {}
};

namespace {

using Platform_Std_Refine::String;

// A part wired as a component would wire it: its own UId and tables.
class WiredPart : public ComponentPart {
 public:
  WiredPart() : ComponentPart(25067000, "Sender"), uid_(1234, 0) {
    uid_.SetName("Sender");
    SetUIdPtr(&uid_);
    SetReceivers(&receivers_);
  }
  void Receive(const char* name, const UId& uid) { receivers_.insert(name, uid); }
  void ThrowOnSend(bool value) { throw_on_send_ = value; }

  bool SendEvent(Event* event) override {
    if (throw_on_send_) throw Exception(11, "Sender", "SendEvent", "send refused");
    return ComponentPart::SendEvent(event);
  }

 private:
  UId uid_;
  ReceiverMap receivers_{"ReceiversMap"};
  bool throw_on_send_ = false;
};

class ComponentPartTest : public AllocatorTest {
 protected:
  UId Target(RecordingEventQueue& queue, const char* name = "Target") {
    UId uid(99, queue.Address());
    uid.SetName(name);
    return uid;
  }
};

TEST_F(ComponentPartTest, SendEventKeepsTheSequenceBookkeeping) {
  RecordingEventQueue queue;
  WiredPart part;
  Event parent(UId(), UId(), 2006005, 0);
  auto send = [&](int sync_type, int send_order, std::uint32_t reply_type) {
    Event* event = Event::Create(part.GetUId(), Target(queue), 25067001, 0);
    event->SetSyncType(sync_type);
    event->SetSendOrder(send_order);
    event->SetReplyType(reply_type);
    EXPECT_TRUE(part.SendEvent(event));
    return event;
  };

  Event* alone = send(0, 1, Event::kNoReplyType);
  EXPECT_EQ(alone->GetReplyType(), Event::kNoReplyType);

  part.SetSequenceParent(&parent);
  Event* child = send(0, 1, Event::kNoReplyType);
  EXPECT_EQ(child->GetReplyType(), 2006005u);
  EXPECT_EQ(child->GetSequenceParent(), &parent);
  EXPECT_EQ(parent.GetChildrenCount(), 1u);

  Event* answered = send(0, 0, 42);
  EXPECT_EQ(answered->GetReplyType(), 42u);  // a reply type of its own stays
  EXPECT_EQ(parent.GetChildrenCount(), 2u);

  Event* synchronous = send(1, 1, Event::kNoReplyType);
  EXPECT_EQ(synchronous->GetSequenceParent(), &parent);
  EXPECT_EQ(synchronous->GetReplyType(), Event::kNoReplyType);
  EXPECT_EQ(parent.GetChildrenCount(), 2u);

  const auto entries = queue.Entries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_TRUE(entries[0].ordered);
  EXPECT_FALSE(entries[2].ordered);  // send_order 0 goes through PutUnordered
}

TEST_F(ComponentPartTest, WithoutAQueueOrWithAFailingOneSendEventPrintsAndAnswersFalse) {
  RecordingEventQueue queue;
  WiredPart part;
  UId nowhere(5, 0);
  nowhere.SetName("Nowhere");
  Event lost(part.GetUId(), nowhere, 25067001, 0);
  Event parent;
  part.SetSequenceParent(&parent);
  EXPECT_EQ(Printed([&] { EXPECT_FALSE(part.SendEvent(&lost)); }),
            "Exception : Nowhere 25067001 Event <- EventQueue is not allocated\n");
  EXPECT_EQ(lost.GetSequenceParent(), nullptr);

  const std::pair<RecordingEventQueue::Mode, const char*> cases[] = {
      {RecordingEventQueue::Mode::kRefuse, ""},
      {RecordingEventQueue::Mode::kThrowException,
       "bool __cdecl ComponentPart::SendEvent(class Event *):143, Exception occured!!\n"
       "event : Sender -> Target queue is closed\n"},
      {RecordingEventQueue::Mode::kThrowStandard,
       "bool __cdecl ComponentPart::SendEvent(class Event *):146, Exception occured!!\n"
       "event : Sender -> Target queue is full\n"},
      {RecordingEventQueue::Mode::kThrowOther,
       "bool __cdecl ComponentPart::SendEvent(class Event *):149, Exception occured!!\n"
       "event : Sender -> Target\n"},
  };
  for (const auto& [mode, printed] : cases) {
    queue.SetMode(mode);
    Event event(part.GetUId(), Target(queue), 1, 0);
    EXPECT_EQ(Printed([&] { EXPECT_FALSE(part.SendEvent(&event)); }), printed);
  }
  EXPECT_EQ(queue.size(), 0u);
}

TEST_F(ComponentPartTest, LookupReceiverListsTheKnownNamesInStringOrder) {
  ComponentPart bare(1, "Bare");
  EXPECT_EQ(Printed([&] { EXPECT_EQ(bare.LookupReceiver("DeviceListener"), UId(0, 0)); }),
            "***********************************\nevent_receivers is null\n"
            "***********************************\n"
            "Exception : Receiver(DeviceListener) cannot be Associated\n");

  WiredPart part;
  part.Receive("b", UId(1, 1));
  part.Receive("aa", UId(2, 2));
  part.Receive("a", UId(3, 3));
  EXPECT_EQ(part.LookupReceiver("aa"), UId(2, 2));
  EXPECT_EQ(Printed([&] { EXPECT_EQ(part.LookupReceiver("zzz"), UId(0, 0)); }),
            "***********************************\n"
            "Could not find receiver : zzz @ Sender.\n"
            "Valid Event Receivers is bellow.\na\nb\naa\n"
            "***********************************\n"
            "Exception : Receiver(zzz) is not Associated\n");
}

TEST_F(ComponentPartTest, SendNoReplyEventHandsThePayloadOverOnlyWhenTheQueueTakesIt) {
  RecordingEventQueue queue;
  WiredPart part;
  part.Receive("DeviceListener", Target(queue, "Listener"));
  auto* payload = new ("TestPayload") TestPayload();
  ASSERT_TRUE(part.SendNoReplyEvent<TestPayload>("DeviceListener", 25040002, 7, payload));
  auto events = queue.TakeEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]->GetObjectArgument(), payload);
  EXPECT_EQ(events[0]->GetBlob().GetSize(), sizeof(TestPayload));
  EXPECT_EQ(events[0]->GetSourceUId(), part.GetUId());
  EXPECT_EQ(events[0]->GetArguments(), 7);
  events.clear();  // releases the payload with its event

  // Refused by the queue, no receiver, or no event storage: the payload
  // stays the caller's and no event is left behind.
  queue.SetMode(RecordingEventQueue::Mode::kRefuse);
  payload = new ("TestPayload") TestPayload();
  EXPECT_FALSE(part.SendNoReplyEvent("DeviceListener", 25040002, 0, payload));
  Printed([&] { EXPECT_FALSE(part.SendNoReplyEvent("Nobody", 25040002, 0, payload)); });
  allocator_.FailWith(CountingAllocator::Failure::kReturnNull, "Event");
  EXPECT_FALSE(part.SendNoReplyEvent("DeviceListener", 25040002, 0, payload));
  EXPECT_EQ(allocator_.LiveBlocks(), 1u);

  // A throwing send writes the signature to standard error and passes on.
  allocator_.FailWith(CountingAllocator::Failure::kNone);
  part.ThrowOnSend(true);
  testing::internal::CaptureStderr();
  EXPECT_THROW(part.SendNoReplyEvent("DeviceListener", 25040002, 0, payload), Exception);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "bool __cdecl ComponentPart::SendNoReplyEvent<class TestPayload>(const class "
            "Platform_Std_Refine::String &,int,__int64,class TestPayload *)send refused\n");
  EXPECT_EQ(allocator_.LiveBlocks(), 1u);  // only the payload, still the caller's
  delete payload;
}

}  // namespace

}  // namespace pga
