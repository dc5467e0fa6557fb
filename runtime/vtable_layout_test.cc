// The order of the virtual operations is the binary interface with a host
// compiled separately. These tests read each operation's vtable entry from
// its pointer-to-member (Itanium C++ ABI: a virtual member's pointer holds
// 1 + the entry's byte offset). Entries 0 and 1 are the two destructor
// entries, so operation slot n (n >= 2) sits at entry n.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <vector>

#include "runtime/blob.h"
#include "runtime/component.h"
#include "runtime/event.h"
#include "runtime/event_queue.h"
#include "runtime/object_allocator.h"
#include "runtime/thread_component.h"

namespace pga {

namespace {

// The vtable entry of each pointer in `pointers`, in order; -1 for a
// non-virtual member.
template <typename... Pointers>
std::vector<long> Entries(Pointers... pointers) {
  struct Representation {
    std::uintptr_t pointer;
    std::ptrdiff_t adjustment;
  };
  auto entry = [](auto pointer) {
    static_assert(sizeof(pointer) == sizeof(Representation), "Itanium member pointer");
    Representation representation;
    std::memcpy(&representation, &pointer, sizeof(representation));
    if ((representation.pointer & 1) == 0) return -1L;
    return static_cast<long>((representation.pointer - 1) / sizeof(void*));
  };
  return {entry(pointers)...};
}

// `count` consecutive entries from `first`.
std::vector<long> Consecutive(long first, std::size_t count) {
  std::vector<long> entries(count);
  std::iota(entries.begin(), entries.end(), first);
  return entries;
}

TEST(VtableLayoutTest, VirtualOperationsKeepTheirSlots) {
  // No destructor in front of the host interfaces: slot n is entry n - 1.
  EXPECT_EQ(
      Entries(&ObjectAllocator::MallocSafe, &ObjectAllocator::Free, &ObjectAllocator::ReportFailure,
              &EventQueue::PutUnordered, &EventQueue::PutOrdered),
      (std::vector<long>{3, 5, 6, 6, 7}));

  using GetValue = void* (Blob::*)() const;
  using SetValue = void (Blob::*)(void*, std::uint8_t);
  EXPECT_EQ(Entries(&RootObject::Initialize, &RootObject::Finalize, &BaseObject::Clone,
                    &BaseObject::Serialize, &BaseObject::Deserialize, GetValue(&Blob::GetValue),
                    &Blob::GetObject, &Blob::GetJson, SetValue(&Blob::SetValue), &Blob::SetObject,
                    &Blob::SetJson, &Blob::GetSize, &Blob::SetSize, &Blob::HasValue),
            Consecutive(2, 14));
  EXPECT_EQ(Entries(&Event::IsSequenceExempt, &Event::IsSequenceReserved), Consecutive(7, 2));

  using C = Component;
  using String = Platform_Std_Refine::String;
  using Plain = void (C::*)();
  using Handler = void (C::*)(Event*);
  using Check = bool (C::*)(Event*);
  using ByName = void (C::*)(const String&, UId);
  using ByGroup = void (C::*)(const String&, Vector<UId>&);
  using Description = ComponentInterface::ManifestInstanceDescription;
  EXPECT_EQ(
      Entries(&ComponentPart::NoOperation, &ComponentPart::GetState, &ComponentPart::SetState,
              &ComponentPart::SetSequenceParent, &ComponentPart::SendEvent,
              &ComponentPart::ProcessAEvent, &C::OnAttributesDefaulted, &C::UnusedHook1,
              &C::OnPrepareAttributes, &C::UnusedHook2, &C::UnusedHook3, &C::OnProtocolFileMissing,
              &C::RegisterProtocolCommands, &C::ReadVersion, Plain(&C::PrepareAttributes),
              static_cast<void (C::*)(Serializable*, const String&)>(&C::PrepareAttributes),
              Handler(&C::Run), Plain(&C::Run),
              static_cast<void (C::*)(Description &&)>(&C::SetInstanceDescription),
              static_cast<void (C::*)(const Description&)>(&C::SetInstanceDescription),
              &C::RegisterEventTypeNames, Handler(&C::AssociateAReceiver),
              ByName(&C::AssociateAReceiver), Handler(&C::AssociateATarget),
              ByGroup(&C::AssociateATarget), Check(&C::Initialize), Check(&C::Finalize),
              Handler(&C::Start), Plain(&C::Start), Handler(&C::Stop), Plain(&C::Stop),
              Handler(&C::Pause), Plain(&C::Pause), Handler(&C::RemoteAssociateCompleted),
              Plain(&C::RemoteAssociateCompleted), ByName(&C::DeAssociateAReceiver),
              Handler(&C::DeAssociateAReceiver), ByGroup(&C::DeAssociateATarget),
              Handler(&C::DeAssociateATarget)),
      Consecutive(7, 39));
  // ThreadComponent only overrides: its operations stay in Component's slots.
  EXPECT_EQ(Entries(&ThreadComponent::SendEvent,
                    static_cast<void (ThreadComponent::*)()>(&ThreadComponent::Stop)),
            (std::vector<long>{11, 37}));
}

}  // namespace

}  // namespace pga
