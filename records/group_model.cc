#include "records/group_model.h"

#include "runtime/json.h"

namespace pga {

namespace {

// A string member taken up to its first NUL: the records' texts are stored
// and compared as C strings downstream, so the tail after a NUL is dropped.
bool ReadText(const rapidjson::Value& object, const char* key, std::string& field) {
  const rapidjson::Value* member = pga_json::FindMember(object, key);
  if (member == nullptr || !member->IsString()) return false;
  field.assign(member->GetString());
  return true;
}

void ReadOptionalText(const rapidjson::Value& object, const char* key,
                      std::optional<std::string>& field) {
  std::string text;
  if (ReadText(object, key, text)) field = std::move(text);
}

void SetText(rapidjson::Value& object, const char* key, const std::string& text,
             BaseModel::Allocator& allocator) {
  rapidjson::Value value(text.data(), static_cast<rapidjson::SizeType>(text.size()), allocator);
  pga_json::SetMember(object, key, std::move(value), allocator);
}

void SetTextIfNotEmpty(rapidjson::Value& object, const char* key,
                       const std::optional<std::string>& text, BaseModel::Allocator& allocator) {
  if (text && !text->empty()) SetText(object, key, *text, allocator);
}

}  // namespace

GroupModel::GroupModel(std::string group_id, std::string group_name, uint64_t created_time)
    : groupId(std::move(group_id)), groupName(std::move(group_name)), createdTime(created_time) {}

void GroupModel::ToJson(rapidjson::Value& value, Allocator& allocator) const {
  SetTextIfNotEmpty(value, "groupId", groupId, allocator);
  SetTextIfNotEmpty(value, "groupName", groupName, allocator);
  SetTextIfNotEmpty(value, "parentId", parentId, allocator);
  if (createdTime) {
    pga_json::SetMember(value, "createdTime", rapidjson::Value(static_cast<int64_t>(*createdTime)),
                        allocator);
  }
}

void GroupModel::FromJson(const rapidjson::Value& value) {
  ReadOptionalText(value, "groupId", groupId);
  ReadOptionalText(value, "groupName", groupName);
  ReadOptionalText(value, "parentId", parentId);
  const rapidjson::Value* created = pga_json::FindMember(value, "createdTime");
  if (created != nullptr && created->IsUint64()) createdTime = created->GetUint64();
}

GroupOrderModel::GroupOrderModel(std::string item_id, std::string parent_id, std::string name,
                                 std::string type, int32_t order, uint64_t created_time)
    : itemId(std::move(item_id)),
      parentId(std::move(parent_id)),
      name(std::move(name)),
      type(std::move(type)),
      order(order),
      createdTime(created_time) {}

void GroupOrderModel::ToJson(rapidjson::Value& value, Allocator& allocator) const {
  SetText(value, "itemId", itemId, allocator);
  SetTextIfNotEmpty(value, "parentId", parentId, allocator);
  SetText(value, "type", type, allocator);
  pga_json::SetMember(value, "order", rapidjson::Value(static_cast<int>(order)), allocator);
}

void GroupOrderModel::FromJson(const rapidjson::Value& value) {
  ReadText(value, "itemId", itemId);
  ReadOptionalText(value, "parentId", parentId);
  ReadText(value, "type", type);
  const rapidjson::Value* member = pga_json::FindMember(value, "order");
  if (member != nullptr && member->IsInt()) order = member->GetInt();
}

const std::string& GroupOrderModel::ParentText() const {
  static const std::string kNoParent;
  return parentId ? *parentId : kNoParent;
}

void MakeOrderItem(const std::string& type, const GroupModel& group, GroupOrderModel& item) {
  item.type = type;
  item.parentId = group.parentId;
  if (group.createdTime) item.createdTime = *group.createdTime;
  if (group.groupId) item.itemId = *group.groupId;
  if (group.groupName) item.name = *group.groupName;
}

void MakeGroupRecord(const GroupOrderModel& item, GroupModel& group) {
  group.groupId = item.itemId;
  group.parentId = item.parentId;
  group.groupName = item.name;
  group.createdTime = item.createdTime;
}

}  // namespace pga
