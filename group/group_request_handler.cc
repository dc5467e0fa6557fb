#include "group/group_request_handler.h"

#include <memory>
#include <utility>

#include "group/group_request_param.h"
#include "records/i_device_dispatcher.h"
#include "records/i_device_listener.h"
#include "records/i_group_application.h"
#include "runtime/platform_string.h"
#include "runtime/vector.h"

namespace pga {

namespace {

constexpr std::uint32_t kRefused = IDeviceDispatcher::ResultParam::kRefused;
constexpr std::uint32_t kStoreFailure = IDeviceDispatcher::ResultParam::kStoreFailure;

// The event's request record, or null when its payload is text, absent or
// an object of another class.
GroupRequestParam* RequestOf(Event& event) {
  return dynamic_cast<GroupRequestParam*>(event.GetObjectArgument());
}

}  // namespace

bool IsValidGroupName(const std::string& name) {
  std::size_t characters = 0;
  for (unsigned char byte : name) {
    if ((byte & 0xC0) != 0x80) ++characters;
  }
  return characters >= 1 && characters <= kMaxGroupNameLength;
}

void GroupRequestHandler::GetLogicalList(Event& event) {
  if (event.GetReplyFlag() != 0) return;
  event.ReleaseObjectArgument();
  auto* list = new ("LogicalList") IGroupApplication::LogicalList();
  if (list != nullptr) {
    if (!list->groups) list->groups = std::make_shared<GroupModelList>();
    if (!list->items) list->items = std::make_shared<GroupOrderModelList>();
    service_.AppendLogicalList(*list->groups, *list->items);
  }
  event.ReplaceObjectArgument(list);
}

void GroupRequestHandler::GetLogicalGroups(Event& event) {
  GroupRequestParam* request = RequestOf(event);
  if (request == nullptr) return;
  request->payload = service_.GetGroups(request->tableKey);
  request->succeeded = true;
}

void GroupRequestHandler::GetLogicalMappings(Event& event) {
  GroupRequestParam* request = RequestOf(event);
  if (request == nullptr) return;
  request->payload = service_.GetAll(request->tableKey);
  request->succeeded = true;
}

void GroupRequestHandler::CreateLogicalGroup(Event& event) {
  GroupRequestParam* request = RequestOf(event);
  if (request == nullptr) return;
  const std::shared_ptr<GroupModel> group = request->Group();
  if (group == nullptr) return SendResult(event, kRefused, kInvalidGroupId);
  if (!group->groupName) group->groupName = kDefaultGroupName;
  if (!group->groupId) return SendResult(event, kRefused, kInvalidGroupId);
  // The requester's time is replaced by the time of handling.
  group->createdTime = static_cast<std::uint64_t>(NowMilliseconds());
  if (!IsValidGroupName(*group->groupName)) {
    return SendResult(event, kRefused, kInvalidGroupName);
  }

  GroupOrderModel item;
  MakeOrderItem(kGroupType, *group, item);
  auto shifted = std::make_shared<WebsocketEventModel>();
  if (!service_.CreateGroup(request->tableKey, item, *shifted->logicalItems)) {
    return SendResult(event, kStoreFailure, kInternalServerError);
  }
  request->succeeded = true;
  notifier_.SendNotification(kLogicalGroupCreated, GroupsRecord({group}));
  notifier_.SendNotification(kLogicalMappingCreated,
                             ItemsRecord({std::make_shared<GroupOrderModel>(item)}));
  if (!shifted->logicalItems->empty()) {
    notifier_.SendNotification(kLogicalMappingModified, std::move(shifted));
  }
}

void GroupRequestHandler::ModifyLogicalGroup(Event& event) {
  GroupRequestParam* request = RequestOf(event);
  if (request == nullptr) return;
  const std::shared_ptr<GroupModel> group = request->Group();
  if (group == nullptr || !group->groupId || !group->groupName) {
    return SendResult(event, kRefused, kBadRequest);
  }
  if (!IsValidGroupName(*group->groupName)) {
    return SendResult(event, kRefused, kInvalidGroupName);
  }
  std::optional<GroupOrderModel> item = service_.FindItem(*group->groupId);
  if (!item) return SendResult(event, kRefused, kInvalidGroupId);

  item->name = *group->groupName;
  if (!service_.SaveItem(request->tableKey, *item)) {
    return SendResult(event, kStoreFailure, kInternalServerError);
  }
  request->succeeded = true;
  auto renamed = std::make_shared<GroupModel>();
  MakeGroupRecord(*item, *renamed);
  notifier_.SendNotification(kLogicalGroupModified, GroupsRecord({renamed}));
}

void GroupRequestHandler::DeleteLogicalGroup(Event& event) {
  GroupRequestParam* request = RequestOf(event);
  if (request == nullptr) return;
  const std::shared_ptr<GroupModel> group = request->Group();
  if (group == nullptr || !group->groupId) return SendResult(event, kRefused, kBadRequest);
  if (!service_.RemoveItem(request->tableKey, *group->groupId)) {
    return SendResult(event, kStoreFailure, kInternalServerError);
  }
  request->succeeded = true;
  notifier_.SendNotification(kLogicalGroupDeleted, GroupsRecord({group}));
  auto removed = std::make_shared<GroupOrderModel>();
  removed->itemId = *group->groupId;
  notifier_.SendNotification(kLogicalMappingDeleted, ItemsRecord({removed}));
}

void GroupRequestHandler::ModifyLogicalMapping(Event& event) {
  GroupRequestParam* request = RequestOf(event);
  if (request == nullptr) return;
  const std::shared_ptr<GroupOrderModelList> moves = request->Items();
  if (moves == nullptr || moves->empty()) return SendResult(event, kRefused, kInvalidRequest);

  // Only cached items move; their name, type and time stay the cached ones.
  GroupOrderItems changes;
  for (const std::shared_ptr<GroupOrderModel>& move : *moves) {
    if (move == nullptr) continue;
    std::optional<GroupOrderModel> item = service_.FindItem(move->itemId);
    if (!item) continue;
    if (move->parentId) item->parentId = move->parentId;
    item->order = move->order;
    changes.push_back(std::move(*item));
  }
  if (!service_.UpdateItems(request->tableKey, changes)) {
    return SendResult(event, kStoreFailure, kInternalServerError);
  }
  request->succeeded = true;
  GroupOrderModelList moved;
  for (const GroupOrderModel& item : changes) moved.push_back(std::make_shared<GroupOrderModel>(item));
  notifier_.SendNotification(kLogicalMappingModified, ItemsRecord(std::move(moved)));
}

void GroupRequestHandler::GetGroupChannels(Event& event) {
  std::string group_id;
  if (auto* id = dynamic_cast<Platform_Std_Refine::String*>(event.GetObjectArgument())) {
    group_id = id->str();
  }
  auto* channels = new ("Vector") Vector<std::string>();
  if (channels != nullptr && !group_id.empty()) {
    service_.CollectChannels(group_id, channels->elements());
  }
  // The request's payload (the id record, or text that carried nothing we
  // read) is released and the answer takes its place.
  event.ReplaceObjectArgument(channels);
}

}  // namespace pga
