#include "doubles/component_driver.h"

#include <cstdint>

#include "runtime/component_part.h"
#include "runtime/event_type.h"
#include "runtime/param_associate_a_receiver.h"

namespace pga {

namespace {

// The host's own address: not a component, and it takes no events back
// through a queue (the answer is read from the event itself).
constexpr unsigned long long kHostComponentId = 1;

// The address of `part` as an event's arguments carry it.
long long ArgumentOf(const ComponentPart& part) {
  return static_cast<long long>(reinterpret_cast<std::uintptr_t>(&part));
}

}  // namespace

ComponentDriver::AssociatedPart::AssociatedPart(const std::string& name, const UId& uid)
    : ComponentPart(BaseObject::kTypeCode, name.c_str()), uid_(uid) {
  SetUIdPtr(&uid_);
}

UId ComponentDriver::HostUId() { return UId(kHostComponentId, 0); }

void ComponentDriver::Allocate() { component_.SetState(kStateAllocated); }

bool ComponentDriver::AssociateReceiver(const std::string& name, RecordingEventQueue& queue,
                                        unsigned long long component_id) {
  const UId uid(component_id, queue.Address());
  ComponentInterface::ParamAssociateAReceiver record(Platform_Std_Refine::String(name), uid);
  std::unique_ptr<Event> event = MakeEvent(eAssociateAReceiver);
  if (event == nullptr) return false;
  BlobValue text;
  record.Serialize(text);
  if (text.value == nullptr) return false;
  event->MutableBlob().SetValue(text.value, kBlobJson);
  event->MutableBlob().SetSize(text.size);
  const bool handled = Deliver(*event);
  if (handled) associated_.emplace_back(name, uid);
  return handled;
}

std::unique_ptr<Event> ComponentDriver::MakeEvent(std::uint32_t type, long long arguments,
                                                  BaseObject* payload) {
  Event* event = Event::Create(HostUId(), component_.GetUId(), type, arguments, payload);
  if (event == nullptr) delete payload;
  return std::unique_ptr<Event>(event);
}

bool ComponentDriver::Deliver(Event& event) {
  const bool handled = component_.ProcessAEvent(&event);
  event.SetReplyFlag(1);
  return handled;
}

bool ComponentDriver::Send(std::uint32_t type, long long arguments) {
  std::unique_ptr<Event> event = MakeEvent(type, arguments);
  if (event == nullptr) return false;
  return Deliver(*event);
}

void ComponentDriver::Begin() {
  Send(eInitialize);
  Send(eStart);
  Send(eRun);
}

void ComponentDriver::End() {
  Send(eStop);
  Send(eFinalize);
  while (!associated_.empty()) {
    const long long departing = ArgumentOf(associated_.front());
    Send(eDeAssociateAReceiver, departing);
    Send(eDeAssociateATarget, departing);
    associated_.pop_front();
  }
}

}  // namespace pga
