// The device listener's side of the platform interface, as far as this
// library uses it: the parameter record of every notification.
#ifndef PGA_RECORDS_I_DEVICE_LISTENER_H_
#define PGA_RECORDS_I_DEVICE_LISTENER_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "records/websocket_event_model.h"
#include "runtime/base_object.h"

namespace pga {

class IDeviceListener {
 public:
  // Event type of a notification sent to the receiver "DeviceListener".
  static constexpr std::uint32_t kNotificationEventType = 25040002;

  // One notification: its name, its time and the change record it is about.
  // Allocated with `new ("EventParam") EventParam` through the host's
  // allocator; the event that carries it deletes it.
  class EventParam : public BaseObject {
   public:
    // Type code 1002000, name "EventParam", eventTimeMsec = now in
    // milliseconds since 1970-01-01 UTC, no message, both sets absent.
    EventParam();
    ~EventParam() override;

    // The notification as compact JSON text: "assignedUsers" and
    // "assignedRoles" (each only when present, ascending), "eventType",
    // "eventTimeMsec", and "message" (the change record's JSON object, {}
    // when there is none).
    virtual std::string ToJsonText() const;
    // Nothing to prepare in this record.
    virtual void Prepare();
    // No part of this record is awaited; always false.
    virtual bool IsPending() const;

    std::string eventType;
    std::int64_t eventTimeMsec = 0;
    // Carried for other components of the platform; not used here and not
    // part of the text form.
    std::string extra_text_1;
    std::shared_ptr<WebsocketEventModel> message;
    std::optional<std::set<std::string>> assignedUsers;
    std::optional<std::set<std::string>> assignedRoles;
    std::string extra_text_2;
  };
};

// Milliseconds since 1970-01-01 00:00 UTC, truncated toward zero.
std::int64_t NowMilliseconds();

}  // namespace pga

#endif  // PGA_RECORDS_I_DEVICE_LISTENER_H_
