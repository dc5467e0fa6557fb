#include "records/websocket_event_model.h"

#include <utility>

#include "runtime/json.h"

namespace pga {

namespace {

template <typename Record>
using SharedList = std::shared_ptr<std::vector<std::shared_ptr<Record>>>;

template <typename Record>
void AppendList(rapidjson::Value& value, const char* key, const SharedList<Record>& list,
                BaseModel::Allocator& allocator) {
  if (!list || list->empty()) return;
  rapidjson::Value array(rapidjson::kArrayType);
  for (const auto& record : *list) {
    if (!record) continue;
    rapidjson::Value object(rapidjson::kObjectType);
    record->ToJson(object, allocator);
    array.PushBack(object, allocator);
  }
  pga_json::AddMember(value, key, std::move(array), allocator);
}

template <typename Record>
void ReadList(const rapidjson::Value& value, const char* key, SharedList<Record>& list) {
  const rapidjson::Value* member = pga_json::FindMember(value, key);
  if (member == nullptr || !member->IsArray()) return;
  if (!list) list = std::make_shared<typename SharedList<Record>::element_type>();
  for (const auto& element : member->GetArray()) {
    auto record = std::make_shared<Record>();
    record->FromJson(element);
    list->push_back(std::move(record));
  }
}

}  // namespace

WebsocketEventModel::WebsocketEventModel()
    : systems(std::make_shared<SystemModelList>()),
      servers(std::make_shared<ServerModelList>()),
      devices(std::make_shared<DeviceModelList>()),
      channels(std::make_shared<ChannelModelList>()),
      eventRules(std::make_shared<EventRuleModelList>()),
      users(std::make_shared<UserModelList>()),
      layouts(std::make_shared<LayoutModelList>()),
      groups(std::make_shared<GroupModelList>()),
      logicalItems(std::make_shared<GroupOrderModelList>()) {}

void WebsocketEventModel::ToJson(rapidjson::Value& value, Allocator& allocator) const {
  AppendList(value, "systems", systems, allocator);
  AppendList(value, "servers", servers, allocator);
  AppendList(value, "devices", devices, allocator);
  AppendList(value, "channels", channels, allocator);
  AppendList(value, "eventRules", eventRules, allocator);
  AppendList(value, "users", users, allocator);
  AppendList(value, "layouts", layouts, allocator);
  AppendList(value, "groups", groups, allocator);
  AppendList(value, "logicalItems", logicalItems, allocator);
}

void WebsocketEventModel::FromJson(const rapidjson::Value& value) {
  ReadList(value, "systems", systems);
  ReadList(value, "servers", servers);
  ReadList(value, "devices", devices);
  ReadList(value, "channels", channels);
  ReadList(value, "eventRules", eventRules);
  ReadList(value, "users", users);
  ReadList(value, "layouts", layouts);
  ReadList(value, "groups", groups);
  ReadList(value, "logicalItems", logicalItems);
}

}  // namespace pga
