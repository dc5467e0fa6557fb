// The host's event queue of one component, reached through the
// event_queue_ptr of that component's UId.
#ifndef PGA_RUNTIME_EVENT_QUEUE_H_
#define PGA_RUNTIME_EVENT_QUEUE_H_

namespace pga {

class Event;

// The order of the virtual operations is the binary interface between host
// and plug-in: the runtime calls only the seventh and eighth slots
// (PutUnordered, PutOrdered). The reserved slots keep the positions of the
// host's other operations; the destructor comes last so that it does not
// shift them.
class EventQueue {
 public:
  EventQueue() = default;
  EventQueue(const EventQueue&) = delete;
  EventQueue& operator=(const EventQueue&) = delete;

  virtual void ReservedSlot1() {}
  virtual void ReservedSlot2() {}
  virtual void ReservedSlot3() {}
  virtual void ReservedSlot4() {}
  virtual void ReservedSlot5() {}
  virtual void ReservedSlot6() {}

  // Puts `event` on the queue without ordering guarantees. Returns true when
  // the queue took the event; from then on the host owns it and releases it.
  // On false (or when it throws) the caller still owns the event. Must accept
  // calls from any thread.
  virtual bool PutUnordered(Event* event) = 0;

  // As PutUnordered, for events whose delivery order the host keeps.
  virtual bool PutOrdered(Event* event) = 0;

  virtual ~EventQueue() = default;
};

}  // namespace pga

#endif  // PGA_RUNTIME_EVENT_QUEUE_H_
