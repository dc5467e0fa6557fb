// ComponentDriver: drives one component the way a host does: it sets the
// allocated state, associates receivers by association events, sends the
// lifecycle events and delivers other events one at a time. Used by the
// reference host and by the tests, whatever way the component was created
// (linked in, or loaded with dlopen).
#ifndef PGA_DOUBLES_COMPONENT_DRIVER_H_
#define PGA_DOUBLES_COMPONENT_DRIVER_H_

#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "doubles/recording_event_queue.h"
#include "runtime/component.h"
#include "runtime/component_part.h"
#include "runtime/event.h"

namespace pga {

class ComponentDriver {
 public:
  // Drives `component` (not owned).
  explicit ComponentDriver(Component& component) : component_(component) {}

  // The host's address as the sender of the events it makes.
  static UId HostUId();

  // SetState(2004002): the host has allocated the component.
  void Allocate();
  // Associates `queue` as the receiver `name` by an association event
  // (2006001) whose payload is the association record as JSON text, under
  // the UId (`component_id`, the queue's address). Returns what
  // ProcessAEvent answered; exceptions pass to the caller. A receiver
  // associated so departs again in End().
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
  // The lifecycle events that end its work, stop and finalize, and then,
  // for every receiver associated through this driver, the de-association
  // events 2006026 and 2006027 that name it as the departing component. A
  // host sends them all before destroy_component. Exceptions pass to the
  // caller.
  void End();

 private:
  // A receiver as de-association events name it: a component part whose UId
  // is the one it was associated under.
  class AssociatedPart : public ComponentPart {
   public:
    AssociatedPart(const std::string& name, const UId& uid);

   private:
    UId uid_;
  };

  Component& component_;
  // Receivers associated and not yet departed. A list, because the parts
  // can be neither copied nor moved.
  std::list<AssociatedPart> associated_;
};

}  // namespace pga

#endif  // PGA_DOUBLES_COMPONENT_DRIVER_H_
