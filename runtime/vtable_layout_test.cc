// The order of the virtual operations is the binary interface with a host
// compiled separately. These tests read each operation's vtable entry from
// its pointer-to-member (Itanium C++ ABI: a virtual member's pointer holds
// 1 + the entry's byte offset). Entries 0 and 1 are the two destructor
// entries, so operation slot n (n >= 2) sits at entry n.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "runtime/blob.h"
#include "runtime/component.h"
#include "runtime/event.h"
#include "runtime/event_queue.h"
#include "runtime/object_allocator.h"
#include "runtime/thread_component.h"

namespace {

template <typename Pointer>
long Entry(Pointer pointer) {
  struct Representation {
    std::uintptr_t pointer;
    std::ptrdiff_t adjustment;
  };
  static_assert(sizeof(Pointer) == sizeof(Representation), "Itanium member pointer");
  Representation representation;
  std::memcpy(&representation, &pointer, sizeof(representation));
  if ((representation.pointer & 1) == 0) return -1;  // not virtual
  return static_cast<long>((representation.pointer - 1) / sizeof(void*));
}

using String = Platform_Std_Refine::String;
using Description = ComponentInterface::ManifestInstanceDescription;

TEST(VtableLayoutTest, HostInterfacesKeepTheirSlots) {
  // No destructor in front: slot n is entry n - 1.
  EXPECT_EQ(Entry(&ObjectAllocator::MallocSafe), 3);
  EXPECT_EQ(Entry(&ObjectAllocator::Free), 5);
  EXPECT_EQ(Entry(&ObjectAllocator::ReportFailure), 6);
  EXPECT_EQ(Entry(&EventQueue::PutUnordered), 6);
  EXPECT_EQ(Entry(&EventQueue::PutOrdered), 7);
}

TEST(VtableLayoutTest, ObjectsBlobsAndEventsKeepTheirSlots) {
  EXPECT_EQ(Entry(&RootObject::Initialize), 2);
  EXPECT_EQ(Entry(&RootObject::Finalize), 3);
  EXPECT_EQ(Entry(&BaseObject::Clone), 4);
  EXPECT_EQ(Entry(&BaseObject::Serialize), 5);
  EXPECT_EQ(Entry(&BaseObject::Deserialize), 6);
  EXPECT_EQ(Entry(static_cast<void* (Blob::*)() const>(&Blob::GetValue)), 7);
  EXPECT_EQ(Entry(&Blob::GetObject), 8);
  EXPECT_EQ(Entry(&Blob::GetJson), 9);
  EXPECT_EQ(Entry(static_cast<void (Blob::*)(void*, std::uint8_t)>(&Blob::SetValue)), 10);
  EXPECT_EQ(Entry(&Blob::SetObject), 11);
  EXPECT_EQ(Entry(&Blob::SetJson), 12);
  EXPECT_EQ(Entry(&Blob::GetSize), 13);
  EXPECT_EQ(Entry(&Blob::SetSize), 14);
  EXPECT_EQ(Entry(&Blob::HasValue), 15);
  EXPECT_EQ(Entry(&Event::IsSequenceExempt), 7);
  EXPECT_EQ(Entry(&Event::IsSequenceReserved), 8);
}

TEST(VtableLayoutTest, ComponentOperationsKeepTheirSlots) {
  EXPECT_EQ(Entry(&ComponentPart::NoOperation), 7);
  EXPECT_EQ(Entry(&ComponentPart::GetState), 8);
  EXPECT_EQ(Entry(&ComponentPart::SetState), 9);
  EXPECT_EQ(Entry(&ComponentPart::SetSequenceParent), 10);
  EXPECT_EQ(Entry(&ComponentPart::SendEvent), 11);
  EXPECT_EQ(Entry(&ComponentPart::ProcessAEvent), 12);

  using C = Component;
  EXPECT_EQ(Entry(&C::OnAttributesDefaulted), 13);
  EXPECT_EQ(Entry(&C::UnusedHook1), 14);
  EXPECT_EQ(Entry(&C::OnPrepareAttributes), 15);
  EXPECT_EQ(Entry(&C::UnusedHook2), 16);
  EXPECT_EQ(Entry(&C::UnusedHook3), 17);
  EXPECT_EQ(Entry(&C::OnProtocolFileMissing), 18);
  EXPECT_EQ(Entry(&C::RegisterProtocolCommands), 19);
  EXPECT_EQ(Entry(&C::ReadVersion), 20);
  EXPECT_EQ(Entry(static_cast<void (C::*)()>(&C::PrepareAttributes)), 21);
  EXPECT_EQ(Entry(static_cast<void (C::*)(Serializable*, const String&)>(&C::PrepareAttributes)),
            22);
  EXPECT_EQ(Entry(static_cast<void (C::*)(Event*)>(&C::Run)), 23);
  EXPECT_EQ(Entry(static_cast<void (C::*)()>(&C::Run)), 24);
  EXPECT_EQ(Entry(static_cast<void (C::*)(Description &&)>(&C::SetInstanceDescription)), 25);
  EXPECT_EQ(Entry(static_cast<void (C::*)(const Description&)>(&C::SetInstanceDescription)), 26);
  EXPECT_EQ(Entry(&C::RegisterEventTypeNames), 27);
  EXPECT_EQ(Entry(static_cast<void (C::*)(Event*)>(&C::AssociateAReceiver)), 28);
  EXPECT_EQ(Entry(static_cast<void (C::*)(const String&, UId)>(&C::AssociateAReceiver)), 29);
  EXPECT_EQ(Entry(static_cast<void (C::*)(Event*)>(&C::AssociateATarget)), 30);
  EXPECT_EQ(Entry(static_cast<void (C::*)(const String&, Vector<UId>&)>(&C::AssociateATarget)), 31);
  EXPECT_EQ(Entry(static_cast<bool (C::*)(Event*)>(&C::Initialize)), 32);
  EXPECT_EQ(Entry(static_cast<bool (C::*)(Event*)>(&C::Finalize)), 33);
  EXPECT_EQ(Entry(static_cast<void (C::*)(Event*)>(&C::Start)), 34);
  EXPECT_EQ(Entry(static_cast<void (C::*)()>(&C::Start)), 35);
  EXPECT_EQ(Entry(static_cast<void (C::*)(Event*)>(&C::Stop)), 36);
  EXPECT_EQ(Entry(static_cast<void (C::*)()>(&C::Stop)), 37);
  EXPECT_EQ(Entry(static_cast<void (C::*)(Event*)>(&C::Pause)), 38);
  EXPECT_EQ(Entry(static_cast<void (C::*)()>(&C::Pause)), 39);
  EXPECT_EQ(Entry(static_cast<void (C::*)(Event*)>(&C::RemoteAssociateCompleted)), 40);
  EXPECT_EQ(Entry(static_cast<void (C::*)()>(&C::RemoteAssociateCompleted)), 41);
  EXPECT_EQ(Entry(static_cast<void (C::*)(const String&, UId)>(&C::DeAssociateAReceiver)), 42);
  EXPECT_EQ(Entry(static_cast<void (C::*)(Event*)>(&C::DeAssociateAReceiver)), 43);
  EXPECT_EQ(Entry(static_cast<void (C::*)(const String&, Vector<UId>&)>(&C::DeAssociateATarget)),
            44);
  EXPECT_EQ(Entry(static_cast<void (C::*)(Event*)>(&C::DeAssociateATarget)), 45);

  // ThreadComponent only overrides: its operations stay in Component's slots.
  EXPECT_EQ(Entry(&ThreadComponent::SendEvent), 11);
  EXPECT_EQ(Entry(static_cast<void (ThreadComponent::*)()>(&ThreadComponent::Stop)), 37);
}

}  // namespace
