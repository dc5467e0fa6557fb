// How the group component announces changes and answers failed requests.
#ifndef PGA_GROUP_NOTIFIER_H_
#define PGA_GROUP_NOTIFIER_H_

#include <cstdint>
#include <memory>

#include "records/websocket_event_model.h"
#include "runtime/component_part.h"
#include "runtime/event.h"
#include "store/change_notice.h"

namespace pga {

// Sends notifications through a component's event sending, or holds them
// back until the change they announce is committed. Does not own the
// component, which must outlive it.
class Notifier {
 public:
  explicit Notifier(ComponentPart& sender) : sender_(sender) {}

  // Sends `record` as the notification `name` (event 25040002, arguments 0)
  // to the receiver "DeviceListener", in an EventParam stamped with the
  // current time; while held, keeps it instead. A notification that cannot
  // be sent (no such receiver, no event or record storage, a failing queue)
  // is dropped: the record is released and the caller goes on.
  void SendNotification(const char* name, std::shared_ptr<WebsocketEventModel> record);
  void SendNotification(const ChangeNotice& notice) {
    SendNotification(notice.kind.c_str(), notice.record);
  }

  // Keeps the notifications from now on instead of sending them.
  void Hold() { holding_ = true; }
  // The notifications kept since Hold(), in order; sending resumes.
  ChangeNotices TakeHeld();

 private:
  ComponentPart& sender_;
  bool holding_ = false;
  ChangeNotices held_;
};

// A new change record with only its group list filled.
std::shared_ptr<WebsocketEventModel> GroupsRecord(GroupModelList groups);
// A new change record with only its item list filled.
std::shared_ptr<WebsocketEventModel> ItemsRecord(GroupOrderModelList items);

// Replaces the payload of `event` (an object is deleted, text released) by a
// new ResultParam holding `code` and `message`; its storage size becomes the
// payload's size. When no record can be allocated the payload is left empty.
void SendResult(Event& event, std::uint32_t code, const char* message);

}  // namespace pga

#endif  // PGA_GROUP_NOTIFIER_H_
