// ComponentDriver: drives one component the way a host does: it sets the
// allocated state, associates receivers by association events, sends the
// lifecycle events and delivers other events one at a time. Used by the
// reference host and by the tests, whatever way the component was created
// (linked in, or loaded with dlopen).
#ifndef PGA_HOST_COMPONENT_DRIVER_H_
#define PGA_HOST_COMPONENT_DRIVER_H_

#include <cstdint>
#include <memory>
#include <string>

#include "host/recording_event_queue.h"
#include "runtime/component.h"
#include "runtime/event.h"

class ComponentDriver {
 public:
  // Drives `component` (not owned).
  explicit ComponentDriver(Component& component) : component_(component) {}

  // The host's address as the sender of the events it makes.
  static UId HostUId();

  // SetState(2004002): the host has allocated the component.
  void Allocate();
  // Associates `queue` as the receiver `name` by an association event
  // (2006001) whose payload is the association record as JSON text.
  // Returns what ProcessAEvent answered; exceptions pass to the caller.
  bool AssociateReceiver(const std::string& name, RecordingEventQueue& queue,
                         unsigned long long component_id);

  // A new event from the host to the component, of `type` with `arguments`
  // and, when not null, `payload` (owned by the event from then on). Null
  // when no event storage is obtained, in which case `payload` is deleted.
  std::unique_ptr<Event> MakeEvent(std::uint32_t type, long long arguments = 0,
                                   BaseObject* payload = nullptr);

  // Delivers `event`: ProcessAEvent, then marks it as the reply handed back
  // to its sender (reply_flag 1). Returns what ProcessAEvent answered;
  // exceptions pass to the caller.
  bool Deliver(Event& event);
  // Makes and delivers a plain event of `type`; returns the answer.
  bool Send(std::uint32_t type, long long arguments = 0);
  // The lifecycle events that bring an associated component to work:
  // initialize, start and run. Exceptions pass to the caller.
  void Begin();
  // The lifecycle events that end its work: stop and finalize.
  void End();

 private:
  Component& component_;
};

#endif  // PGA_HOST_COMPONENT_DRIVER_H_
