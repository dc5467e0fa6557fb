// ComponentPart: the base of every component, and of every part of a
// component, that sends events. It knows its component's address, the
// component's named receivers and targets, its lifecycle state and the event
// being processed at the moment.
#ifndef PGA_RUNTIME_COMPONENT_PART_H_
#define PGA_RUNTIME_COMPONENT_PART_H_

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <typeinfo>

#include "runtime/base_object.h"
#include "runtime/event.h"
#include "runtime/exception.h"
#include "runtime/map.h"
#include "runtime/platform_string.h"
#include "runtime/uid.h"
#include "runtime/vector.h"

namespace pga {

// Lifecycle state codes, ordered: association checks compare with less-than.
enum ComponentState : int {
  kStateConstructed = 2004001,
  kStateAllocated = 2004002,  // set by the host
  kStateReceiverAssociated = 2004003,
  kStateTargetAssociated = 2004004,
  kStateInitialized = 2004005,
  kStateStarted = 2004006,
  kStateRunning = 2004007,
  kStatePaused = 2004008,
  kStateStopped = 2004009,
  kStateFinalized = 2004010,
};

using ReceiverMap = Map<Platform_Std_Refine::String, UId>;
using TargetMap = Map<Platform_Std_Refine::String, Vector<UId>*>;

class ComponentPart : public BaseObject {
 public:
  // State kStateConstructed, no UId, no tables, no sequence parent, both
  // monitor flags false.
  ComponentPart(unsigned long long type_code, const char* name);
  ComponentPart(const ComponentPart&) = delete;
  ComponentPart& operator=(const ComponentPart&) = delete;
  // Releases nothing: the component releases the UId and the tables it
  // created.
  ~ComponentPart() override;

  // Virtual slots 7 to 12.
  // Does nothing.
  virtual void NoOperation();
  virtual int GetState() const;
  virtual void SetState(int code);
  // Records `event` (may be null) as the event whose processing is under
  // way; events sent meanwhile with sync_type 0 become its children.
  virtual void SetSequenceParent(Event* event);
  // Puts `event` on the queue behind its target's event_queue_ptr: PutOrdered
  // when its send_order is non-zero, else PutUnordered. Before that the
  // event gets this part's sequence parent and, when its sync_type is 0 and a
  // parent is set, counts as the parent's child (unless exempt) and takes the
  // parent's type as reply type if it has none. Returns true when the queue
  // took the event, which then belongs to the host; on false the caller still
  // owns it. Failures (no queue, a throwing queue) are printed, never thrown.
  virtual bool SendEvent(Event* event);
  // False here; components dispatch their events.
  virtual bool ProcessAEvent(Event* event);

  // A copy of the component's UId; a default UId when none is set.
  UId GetUId() const;
  ReceiverMap* GetReceivers() const { return event_receivers; }
  void SetReceivers(ReceiverMap* map) { event_receivers = map; }
  TargetMap* GetTargets() const { return event_targets; }
  void SetTargets(TargetMap* map) { event_targets = map; }
  // The UId stays owned by the component that created it.
  void SetUIdPtr(UId* uid) { ownUId = uid; }
  Event* GetSequenceParent() const { return sequenceParent; }
  bool GetFirstMonitorFlag() const { return monitorFlag1; }
  bool GetSecondMonitorFlag() const { return monitorFlag2; }

  // The UId associated under `name`, or a UId with component_id 0 and
  // event_queue_ptr 0 when there is none (or no table), after printing which
  // receivers are known. Never throws for a missing receiver.
  UId LookupReceiver(const Platform_Std_Refine::String& name);

  // Looks `receiverName` up, creates an event of `eventType` with
  // `arguments` and `payload` (may be null) and sends it with SendEvent.
  // True when the event was put on the receiver's queue: the event, and the
  // payload with it, then belong to the host. On false (unknown receiver, no
  // event storage, queue refused) no event is left behind and the caller
  // keeps `payload`. An Exception or standard exception is written to
  // standard error with this operation's signature and thrown on; the caller
  // keeps `payload` then too.
  template <typename T>
  bool SendNoReplyEvent(const Platform_Std_Refine::String& receiverName, int eventType,
                        long long arguments, T* payload);

 protected:
  void SetMonitorFlags(bool first, bool second) {
    monitorFlag1 = first;
    monitorFlag2 = second;
  }

  UId* ownUId;
  // Written by the host's thread and by the worker of a ThreadComponent.
  std::atomic<int> state;
  ReceiverMap* event_receivers;
  TargetMap* event_targets;
  Event* sequenceParent;
  bool monitorFlag1;
  bool monitorFlag2;

 private:
  // Writes "<signature of SendNoReplyEvent<T>><message>\n" to standard error.
  static void ReportSendNoReplyFailure(const std::type_info& payload_type, const char* message);
};

template <typename T>
bool ComponentPart::SendNoReplyEvent(const Platform_Std_Refine::String& receiverName, int eventType,
                                     long long arguments, T* payload) {
  static_assert(std::is_base_of<BaseObject, T>::value, "payloads are runtime objects");
  // Takes the payload back out of an event that was not sent and releases the
  // event, so that the caller keeps the payload on every failure.
  auto release = [](Event* event) {
    event->TakeObjectArgument();
    delete event;
  };
  try {
    const UId target = LookupReceiver(receiverName);
    if (target.component_id == 0) return false;
    std::unique_ptr<Event, decltype(release)> event(
        Event::Create(GetUId(), target, static_cast<std::uint32_t>(eventType), arguments, payload),
        release);
    if (event == nullptr) return false;
    if (!SendEvent(event.get())) return false;
    event.release();  // the host's from now on
    return true;
  } catch (const Exception& e) {
    ReportSendNoReplyFailure(typeid(T), e.GetMessage());
    throw Exception(e);
  } catch (const std::exception& e) {
    ReportSendNoReplyFailure(typeid(T), e.what());
    throw std::runtime_error(e.what());
  }
}

}  // namespace pga

#endif  // PGA_RUNTIME_COMPONENT_PART_H_
