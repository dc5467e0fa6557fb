// The two records of the camera tree: a user-made group, and one item of the
// tree (group or channel) with its parent and its place among its siblings.
#ifndef PGA_RECORDS_GROUP_MODEL_H_
#define PGA_RECORDS_GROUP_MODEL_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "records/base_model.h"

namespace pga {

// The type text of a group item. Any other type text is a leaf of the tree.
inline constexpr char kGroupType[] = "Group";
// The type text of a camera channel item.
inline constexpr char kChannelType[] = "Channel";

// One user-made group. Every field may be absent, which is not the same as
// present and empty. A plain value; copy it freely.
class GroupModel : public BaseModel {
 public:
  // All four fields absent.
  GroupModel() = default;
  // Sets `groupId`, `groupName` and `createdTime`; `parentId` stays absent.
  GroupModel(std::string group_id, std::string group_name, uint64_t created_time);

  // Sets, by name, "groupId", "groupName" and "parentId" when present and not
  // empty, and "createdTime" (a signed 64-bit integer) when present. A
  // `value` that is not an object is left unchanged.
  void ToJson(rapidjson::Value& value, Allocator& allocator) const override;

  // Reads the same four members (strings up to their first NUL; "createdTime"
  // a non-negative integer that fits 64 bits). A missing member, or one of
  // the wrong JSON type, leaves its field unchanged; reading a member makes
  // the field present. A `value` that is not an object changes nothing.
  void FromJson(const rapidjson::Value& value) override;

  std::optional<std::string> groupId;
  std::optional<std::string> groupName;
  std::optional<std::string> parentId;
  std::optional<uint64_t> createdTime;
};

// One item of the tree, group or channel. A plain value; copy it freely.
class GroupOrderModel : public BaseModel {
 public:
  // Empty texts, absent `parentId`, `order` -1, `createdTime` 0.
  GroupOrderModel() = default;
  // From a stored row: `parentId` is then always present, empty or not.
  GroupOrderModel(std::string item_id, std::string parent_id, std::string name, std::string type,
                  int32_t order, uint64_t created_time);

  // Sets, by name, "itemId" (always), "parentId" (when present and not
  // empty), "type" (always) and "order" (a signed 32-bit integer). `name` and
  // `createdTime` are never written. A `value` that is not an object is left
  // unchanged.
  void ToJson(rapidjson::Value& value, Allocator& allocator) const override;

  // Reads "itemId", "parentId", "type" (strings up to their first NUL) and
  // "order" (an integer that fits 32 bits signed). A missing member, or one
  // of the wrong JSON type, leaves its field unchanged; reading "parentId"
  // makes it present. A `value` that is not an object changes nothing.
  void FromJson(const rapidjson::Value& value) override;

  // The parent's id, or the empty text for an absent parent, as the store
  // keeps it.
  const std::string& ParentText() const;

  std::string itemId;
  std::optional<std::string> parentId;
  std::string name;
  std::string type;
  int32_t order = -1;
  uint64_t createdTime = 0;
};

// Lists of shared records, as they travel in replies and notifications. Each
// element is made with std::make_shared (record and count in one block); the
// list itself is one block too, which matters for a whole tree's answer.
using GroupModelList = std::vector<std::shared_ptr<GroupModel>>;
using GroupOrderModelList = std::vector<std::shared_ptr<GroupOrderModel>>;
// Items by value, as the store's batch operations and the service take them.
using GroupOrderItems = std::vector<GroupOrderModel>;
// Items keyed by item id, in byte-wise id order.
using GroupOrderMap = std::map<std::string, GroupOrderModel>;

// Fills `item` from `group`: `type`, and `parentId` (absent stays absent);
// `createdTime`, `itemId` and `name` only from the group's present fields.
// `item.order` is left as it was.
void MakeOrderItem(const std::string& type, const GroupModel& group, GroupOrderModel& item);

// Fills `group` from `item`: `groupId`, `groupName` and `createdTime` become
// present; `parentId` follows the item's (absent stays absent).
void MakeGroupRecord(const GroupOrderModel& item, GroupModel& group);

// Appends to `list.items` a shared copy of every item of `items`, in id order,
// and to `list.groups` a group record for each item whose type is exactly
// "Group". `Holder` is any type with members `groups` (a
// std::shared_ptr<GroupModelList>) and `items` (a
// std::shared_ptr<GroupOrderModelList>); a null list is created first.
// `items` is read where it is: at site scale a copy would cost as much as
// the answer itself.
template <typename Holder>
void FillLogicalList(const GroupOrderMap& items, Holder& list) {
  if (!list.groups) list.groups = std::make_shared<GroupModelList>();
  if (!list.items) list.items = std::make_shared<GroupOrderModelList>();
  list.items->reserve(list.items->size() + items.size());
  for (const auto& [id, item] : items) {
    if (item.type == kGroupType) {
      auto group = std::make_shared<GroupModel>();
      MakeGroupRecord(item, *group);
      list.groups->push_back(std::move(group));
    }
    list.items->push_back(std::make_shared<GroupOrderModel>(item));
  }
}

}  // namespace pga

#endif  // PGA_RECORDS_GROUP_MODEL_H_
