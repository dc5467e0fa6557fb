#include "store/cache_difference.h"

#include <memory>
#include <string>
#include <utility>

namespace pga {

namespace {

bool IsGroup(const ItemCache::Entry& entry) {
  return entry.type != nullptr && *entry.type == kGroupType;
}

bool SameParent(const ItemCache::Entry& a, const ItemCache::Entry& b) {
  if (a.parent == nullptr || b.parent == nullptr) return a.parent == b.parent;
  return *a.parent == *b.parent;
}

bool SameType(const ItemCache::Entry& a, const ItemCache::Entry& b) {
  if (a.type == nullptr || b.type == nullptr) return a.type == b.type;
  return *a.type == *b.type;
}

// The records of one difference, in the order they are announced.
struct Records {
  std::shared_ptr<WebsocketEventModel> groups_deleted = std::make_shared<WebsocketEventModel>();
  std::shared_ptr<WebsocketEventModel> items_deleted = std::make_shared<WebsocketEventModel>();
  std::shared_ptr<WebsocketEventModel> groups_created = std::make_shared<WebsocketEventModel>();
  std::shared_ptr<WebsocketEventModel> items_created = std::make_shared<WebsocketEventModel>();
  std::shared_ptr<WebsocketEventModel> groups_modified = std::make_shared<WebsocketEventModel>();
  std::shared_ptr<WebsocketEventModel> items_modified = std::make_shared<WebsocketEventModel>();

  void Gone(const std::string& id, const ItemCache::Entry& entry) {
    if (IsGroup(entry)) {
      auto group = std::make_shared<GroupModel>();
      group->groupId = id;
      groups_deleted->groups->push_back(std::move(group));
    }
    auto item = std::make_shared<GroupOrderModel>();
    item->itemId = id;
    items_deleted->logicalItems->push_back(std::move(item));
  }
  void New(const std::string& id, const ItemCache::Entry& entry) {
    auto item = std::make_shared<GroupOrderModel>(ItemCache::Model(id, entry));
    if (IsGroup(entry)) groups_created->groups->push_back(GroupOf(*item));
    items_created->logicalItems->push_back(std::move(item));
  }
  void Changed(const std::string& id, const ItemCache::Entry& was, const ItemCache::Entry& now) {
    const bool renamed = IsGroup(now) && was.name != now.name;
    const bool moved = !SameParent(was, now) || was.order != now.order || !SameType(was, now);
    if (!renamed && !moved) return;
    auto item = std::make_shared<GroupOrderModel>(ItemCache::Model(id, now));
    if (renamed) groups_modified->groups->push_back(GroupOf(*item));
    if (moved) items_modified->logicalItems->push_back(std::move(item));
  }

  ChangeNotices Notices() && {
    ChangeNotices notices;
    auto add = [&notices](const char* kind, std::shared_ptr<WebsocketEventModel> record) {
      if (!record->groups->empty() || !record->logicalItems->empty()) {
        notices.push_back({kind, std::move(record)});
      }
    };
    add(kLogicalGroupDeleted, std::move(groups_deleted));
    add(kLogicalMappingDeleted, std::move(items_deleted));
    add(kLogicalGroupCreated, std::move(groups_created));
    add(kLogicalMappingCreated, std::move(items_created));
    add(kLogicalGroupModified, std::move(groups_modified));
    add(kLogicalMappingModified, std::move(items_modified));
    return notices;
  }

 private:
  static std::shared_ptr<GroupModel> GroupOf(const GroupOrderModel& item) {
    auto group = std::make_shared<GroupModel>();
    MakeGroupRecord(item, *group);
    return group;
  }
};

}  // namespace

ChangeNotices CacheDifference(const ItemCache& before, const ItemCache& after) {
  // Both hold their items by id: one walk side by side meets every id once.
  Records records;
  auto was = before.entries().begin();
  auto now = after.entries().begin();
  const auto was_end = before.entries().end();
  const auto now_end = after.entries().end();
  while (was != was_end || now != now_end) {
    if (now == now_end || (was != was_end && was->first < now->first)) {
      records.Gone(was->first, was->second);
      ++was;
    } else if (was == was_end || now->first < was->first) {
      records.New(now->first, now->second);
      ++now;
    } else {
      records.Changed(now->first, was->second, now->second);
      ++was;
      ++now;
    }
  }
  return std::move(records).Notices();
}

}  // namespace pga
