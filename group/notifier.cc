#include "group/notifier.h"

#include <utility>

#include "records/i_device_dispatcher.h"
#include "records/i_device_listener.h"

namespace pga {

namespace {

constexpr char kDeviceListener[] = "DeviceListener";

}  // namespace

void Notifier::SendNotification(const char* name, std::shared_ptr<WebsocketEventModel> record) {
  if (holding_) {
    held_.push_back(ChangeNotice{name, std::move(record)});
    return;
  }
  auto* param = new ("EventParam") IDeviceListener::EventParam();
  if (param == nullptr) return;
  param->eventTimeMsec = NowMilliseconds();
  param->eventType = name;
  param->message = std::move(record);
  bool sent = false;
  try {
    sent = sender_.SendNoReplyEvent(Platform_Std_Refine::String(kDeviceListener),
                                    static_cast<int>(IDeviceListener::kNotificationEventType), 0,
                                    param);
  } catch (...) {
    // The sending already reported the failure; the caller keeps the record
    // on every failure, and a lost notification must not undo the change
    // that the handler has already made.
    sent = false;
  }
  if (!sent) delete param;
}

ChangeNotices Notifier::TakeHeld() {
  holding_ = false;
  return std::exchange(held_, {});
}

std::shared_ptr<WebsocketEventModel> GroupsRecord(GroupModelList groups) {
  auto record = std::make_shared<WebsocketEventModel>();
  *record->groups = std::move(groups);
  return record;
}

std::shared_ptr<WebsocketEventModel> ItemsRecord(GroupOrderModelList items) {
  auto record = std::make_shared<WebsocketEventModel>();
  *record->logicalItems = std::move(items);
  return record;
}

void SendResult(Event& event, std::uint32_t code, const char* message) {
  event.ReleaseObjectArgument();
  auto* result = new ("ResultParam") IDeviceDispatcher::ResultParam();
  if (result == nullptr) return;
  result->succeeded = false;
  result->code = code;
  result->message = message;
  event.ReplaceObjectArgument(result);
}

}  // namespace pga
