// Event: the message between components. It names its sender and target,
// an event type, a 64-bit argument and a payload in a Blob, which it owns,
// and carries the bookkeeping of sending and replying.
#ifndef PGA_RUNTIME_EVENT_H_
#define PGA_RUNTIME_EVENT_H_

#include <cstddef>
#include <cstdint>

#include "runtime/base_object.h"
#include "runtime/blob.h"
#include "runtime/object_allocator.h"
#include "runtime/uid.h"

namespace pga {

class Event : public BaseObject {
 public:
  static constexpr unsigned long long kTypeCode = 2002000;
  // event_reply_type of an event that expects no particular reply type.
  static constexpr std::uint32_t kNoReplyType = 0xFFFFFFFF;

  // The allocator that event storage comes from and goes back to; the host
  // hands over the same object as BaseObject::allocator. Not owned.
  static ObjectAllocator* event_allocator;

  // A new event as senders create it: event_id from the library-wide
  // counter, no reply type, an empty payload (null object pointer), sync_type
  // and send_order 1, every counter 0.
  Event(const UId& source_uid, const UId& target_uid, std::uint32_t event_type,
        long long arguments);
  // As above with default UIds, type 0 and argument 0.
  Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  // Deletes an object payload through its virtual destructor, or releases
  // JSON text through BaseObject::allocator.
  ~Event() override;

  // Allocates an event with storage from event_allocator (tag "Event") and
  // constructs it as the constructor above does; when `payload` is non-null
  // the event takes ownership of it (kind object, size = its storage size).
  // Returns null, and leaves `payload` with the caller, when no storage is
  // obtained: no allocator, a null block, or an Exception thrown by the
  // allocator (printed and reported to it with ReportFailure). Other
  // exceptions of the allocator pass to the caller.
  static Event* Create(const UId& source_uid, const UId& target_uid, std::uint32_t event_type,
                       long long arguments, BaseObject* payload = nullptr);

  // Storage from event_allocator for an event class; null on every failure
  // (an allocator Exception is printed and reported as in Create).
  static void* operator new(std::size_t size, const char* tag) noexcept;
  // Returns the storage to event_allocator.
  static void operator delete(void* block) noexcept;
  static void operator delete(void* block, const char* tag) noexcept;

  // Members in order: "BaseObject", "event_id", "source_uid", "target_uid",
  // "event_type", "event_reply_type", "arguments", "object_argument" (only
  // the payload's kind, "BaseObject" or "Json", and only for a non-null
  // payload of non-zero size), "sync_type", "send_order", "children_count",
  // "channel_index", "reply_flag". The payload itself is never written.
  BlobValue& Serialize(BlobValue& out) const override;
  // Reads the fields back; the payload is never restored ("object_argument"
  // releases the payload held and sets an empty cell of its kind),
  // "arguments", "sync_type" and "send_order" become 0 when absent, the
  // other numbers stay.
  void Deserialize(const BlobValue& in) override;

  // Virtual slot 7: true when sending this event while another is processed
  // must not count it as a child. False here.
  virtual bool IsSequenceExempt() const;
  // Virtual slot 8: a second predicate of the same form; false here.
  virtual bool IsSequenceReserved() const;

  std::uint32_t GetEventId() const { return event_id; }
  const UId& GetSourceUId() const { return source_uid; }
  const UId& GetTargetUId() const { return target_uid; }
  std::uint32_t GetEventType() const { return event_type; }
  std::uint32_t GetReplyType() const { return event_reply_type; }
  void SetReplyType(std::uint32_t type) { event_reply_type = type; }
  long long GetArguments() const { return arguments; }
  void SetArguments(long long value) { arguments = value; }
  std::int32_t GetSyncType() const { return sync_type; }
  void SetSyncType(std::int32_t value) { sync_type = value; }
  std::int32_t GetSendOrder() const { return send_order; }
  void SetSendOrder(std::int32_t value) { send_order = value; }
  Event* GetSequenceParent() const { return sequenceParent; }
  void SetSequenceParent(Event* event) { sequenceParent = event; }
  std::uint32_t GetChildrenCount() const { return children_count; }
  void IncrementChildrenCount() { ++children_count; }
  std::uint32_t GetChannelIndex() const { return channel_index; }
  void SetChannelIndex(std::uint32_t value) { channel_index = value; }
  std::uint32_t GetReplyFlag() const { return reply_flag; }
  void SetReplyFlag(std::uint32_t value) { reply_flag = value; }

  // A copy of the payload holder (same pointer, kind and size); the event
  // keeps ownership of the payload.
  Blob GetBlob() const { return object_argument; }
  // The payload holder itself, for handlers that answer in the event.
  Blob& MutableBlob() { return object_argument; }
  // The payload object, or null when the payload is text or absent. The
  // event keeps ownership.
  BaseObject* GetObjectArgument() const { return object_argument.GetObject(); }
  // Hands the payload pointer (of either kind) to the caller, who owns it
  // from then on, and leaves a null object pointer of size 0. Null, and no
  // change, when there is no payload.
  void* TakeObjectArgument();
  // Releases the payload as the destructor does and leaves a null object
  // pointer of size 0.
  void ReleaseObjectArgument();
  // Releases the payload and takes `object` (may be null) as the new one,
  // with its storage size as the blob's size. The current payload given
  // again is kept, not released.
  void ReplaceObjectArgument(BaseObject* object);

 private:
  // Storage from event_allocator; see Create for the failure rules.
  static void* AllocateStorage(std::size_t size, const char* tag);

  std::uint32_t event_id;
  UId source_uid;
  UId target_uid;
  std::uint32_t event_type;
  std::uint32_t event_reply_type;
  long long arguments;
  Blob object_argument;
  Event* sequenceParent;
  std::int32_t sync_type;
  std::int32_t send_order;
  [[maybe_unused]] std::uint64_t reserved_;
  std::uint32_t children_count;
  std::uint32_t channel_index;
  std::uint32_t reply_flag;
};

// Hands the host's allocator to the runtime: it becomes both
// BaseObject::allocator and Event::event_allocator. Null clears both.
void InstallAllocator(ObjectAllocator* allocator);

}  // namespace pga

#endif  // PGA_RUNTIME_EVENT_H_
