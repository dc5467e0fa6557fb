#include "store/group_service.h"

#include <algorithm>
#include <limits>
#include <set>
#include <string_view>
#include <utility>

#include "store/change_follower.h"
#include "store/open_group_store.h"

namespace pga {

namespace {

constexpr int32_t kStartTableKey = 0;

// The store keeps its tables under signed keys; the requests carry unsigned
// ones. Keys that do not fit name no table, which the store answers
// neutrally.
int32_t StoreKey(uint32_t table_key) { return static_cast<int32_t>(table_key); }

// The order after `order`. Orders are 32-bit: at the top of the range the
// next one stays at the top instead of wrapping round to the front.
int32_t NextOrder(int32_t order) {
  return order == std::numeric_limits<int32_t>::max() ? order : order + 1;
}

}  // namespace

GroupService::GroupService() : GroupService(OpenGroupStore()) {}

GroupService::GroupService(std::shared_ptr<IGroupRepository> repository)
    : repository_(std::move(repository)) {
  if (IChangeLog* log = repository_->change_log()) {
    follower_ = std::make_unique<ChangeFollower>(*log, itemCache_);
  }
}

GroupService::~GroupService() = default;

std::shared_ptr<GroupModelList> GroupService::GetGroups(uint32_t table_key) {
  return std::make_shared<GroupModelList>(repository_->GetGroups(StoreKey(table_key)));
}

std::shared_ptr<GroupOrderModelList> GroupService::GetAll(uint32_t table_key) {
  return std::make_shared<GroupOrderModelList>(repository_->GetAll(StoreKey(table_key)));
}

int32_t GroupService::GetLastOrder(uint32_t table_key, const std::string& type,
                                   const std::string& parent_id) {
  return repository_->GetLastOrder(StoreKey(table_key), type, parent_id);
}

void GroupService::Clear() {
  repository_->Clear();
  if (follower_) itemCache_.Clear();
}

GroupOrderMap GroupService::GetItems() const {
  GroupOrderMap items;
  for (const auto& [id, entry] : itemCache_.entries()) {
    items.emplace_hint(items.end(), id, ItemCache::Model(id, entry));
  }
  return items;
}

void GroupService::AppendLogicalList(GroupModelList& groups, GroupOrderModelList& items) const {
  items.reserve(items.size() + itemCache_.entries().size());
  for (const auto& [id, entry] : itemCache_.entries()) {
    auto item = std::make_shared<GroupOrderModel>(ItemCache::Model(id, entry));
    if (item->type == kGroupType) {
      auto group = std::make_shared<GroupModel>();
      MakeGroupRecord(*item, *group);
      groups.push_back(std::move(group));
    }
    items.push_back(std::move(item));
  }
}

std::optional<GroupOrderModel> GroupService::FindItem(const std::string& id) const {
  const ItemCache::Entry* entry = itemCache_.Find(id);
  if (entry == nullptr) return std::nullopt;
  return ItemCache::Model(id, *entry);
}

GroupOrderItems GroupService::GetChildren(const std::string& id) const {
  GroupOrderItems children;
  if (const ItemCache::Children* links = itemCache_.ChildrenOf(id)) {
    children.reserve(links->size());
    for (const auto& slot : *links) {
      children.push_back(ItemCache::Model(slot.id(), *slot.value().entry));
    }
  }
  return children;
}

void GroupService::CollectChannels(const std::string& group_id,
                                   std::vector<std::string>& out) const {
  // Explicit stack of the groups being walked, each with its next child, so
  // that a chain of any depth needs no recursion; `walked` stops cycles.
  struct Frame {
    ItemCache::Children::const_iterator next;
    ItemCache::Children::const_iterator end;
  };
  std::vector<Frame> stack;
  // Views of the cached ids, which stay put while the walk reads them.
  std::set<std::string_view> walked = {group_id};
  auto enter = [&](std::string_view id) {
    if (const ItemCache::Children* children = itemCache_.ChildrenOf(id)) {
      stack.push_back({children->begin(), children->end()});
    }
  };
  enter(group_id);
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next == top.end) {
      stack.pop_back();
      continue;
    }
    const std::string_view child = top.next->id();
    const bool group = top.next->value().group;
    ++top.next;
    if (!group) {
      out.emplace_back(child);
    } else if (walked.insert(child).second) {
      enter(child);
    }
  }
}

void GroupService::LoadItems() {
  if (follower_) {
    follower_->Load();
    return;
  }
  itemCache_.Load([this](const ItemCache::Sink& take) {
    return repository_->ReadAllItems(kStartTableKey, take);
  });
}

bool GroupService::CreateGroup(uint32_t table_key, GroupOrderModel& item,
                               GroupOrderModelList& modified) {
  item.order =
      NextOrder(repository_->GetLastOrder(StoreKey(table_key), kGroupType, item.ParentText()));
  const GroupOrderItems shifted = ShiftSiblings(item);
  bool saved = false;
  const bool kept = repository_->RunBatch([&] {
    // What UpdateItems(shifted) does: the siblings keep parent and kind, so
    // only their orders change.
    itemCache_.SetOrders(item.ParentText(), shifted);
    repository_->Update(StoreKey(table_key), shifted);
    for (const GroupOrderModel& sibling : shifted) {
      modified.push_back(std::make_shared<GroupOrderModel>(sibling));
    }
    itemCache_.InsertIfAbsent(item);
    saved = repository_->Save(StoreKey(table_key), item);
  });
  return saved && kept;
}

GroupOrderItems GroupService::ShiftSiblings(const GroupOrderModel& item) const {
  GroupOrderItems siblings;
  if (const ItemCache::Children* links = itemCache_.ChildrenOf(item.ParentText())) {
    for (const auto& slot : *links) {
      const ItemCache::Entry& entry = *slot.value().entry;
      if (entry.order >= item.order) siblings.push_back(ItemCache::Model(slot.id(), entry));
    }
  }
  // Stable: siblings of equal order stay in id order.
  std::stable_sort(
      siblings.begin(), siblings.end(),
      [](const GroupOrderModel& a, const GroupOrderModel& b) { return a.order < b.order; });
  int32_t order = item.order;
  for (GroupOrderModel& sibling : siblings) {
    order = NextOrder(order);
    sibling.order = order;
  }
  return siblings;
}

bool GroupService::SaveItem(uint32_t table_key, const GroupOrderModel& item) {
  itemCache_.Put(item);
  return repository_->Save(StoreKey(table_key), item);
}

bool GroupService::UpdateItems(uint32_t table_key, const GroupOrderItems& items) {
  for (const GroupOrderModel& item : items) itemCache_.Put(item);
  return repository_->Update(StoreKey(table_key), items);
}

bool GroupService::RemoveItem(uint32_t table_key, const std::string& id) {
  itemCache_.Erase(id);
  return repository_->Remove(StoreKey(table_key), id);
}

bool GroupService::AddChannels(uint32_t table_key, GroupOrderItems& items) {
  int32_t order = NextOrder(repository_->GetLastOrder(StoreKey(table_key), kChannelType, ""));
  std::stable_sort(items.begin(), items.end(),
                   [](const GroupOrderModel& a, const GroupOrderModel& b) {
                     return a.createdTime < b.createdTime;
                   });
  repository_->RunBatch([&] {
    for (GroupOrderModel& item : items) {
      item.order = order;
      order = NextOrder(order);
      itemCache_.InsertIfAbsent(item);
      repository_->Save(StoreKey(table_key), item);
    }
  });
  return true;
}

void GroupService::RemoveEmptyGroup(const std::string& id, GroupModelList& removed_groups,
                                    GroupOrderModelList& removed_items) {
  // Every pass that goes on erases one cached item, so the walk ends.
  std::string current = id;
  while (!current.empty() && itemCache_.ChildrenOf(current) == nullptr) {
    std::optional<std::string> parent;
    if (const ItemCache::Entry* entry = itemCache_.Find(current)) {
      if (entry->parent != nullptr) parent = *entry->parent;
    }
    itemCache_.Erase(current);
    repository_->Remove(kStartTableKey, current);

    auto item = std::make_shared<GroupOrderModel>();
    item->itemId = current;
    removed_items.push_back(std::move(item));
    auto group = std::make_shared<GroupModel>();
    group->groupId = current;
    removed_groups.push_back(std::move(group));

    if (!parent) break;
    current = std::move(*parent);
  }
}

bool GroupService::RunBatch(const std::function<void()>& changes) {
  return repository_->RunBatch(changes);
}

bool GroupService::RunChange(const std::function<ChangeNotices()>& change) {
  if (!follower_) {
    change();
    return true;
  }
  // The batch holds the store's change lock from its start, so the cache
  // takes in everything committed before it and the change is computed on
  // that. A catch-up inside the batch can fail only on a statement, which
  // fails the batch as well: nothing computed on a stale cache is kept.
  // The change is taken back from the cache when the store does not keep
  // it; what the catch-up took in was committed by others, and stays.
  const bool kept = repository_->RunBatch([&] {
    follower_->CatchUp();
    itemCache_.StartUndoLog();
    try {
      follower_->Log(change());
    } catch (...) {
      // The batch rolls back as the exception leaves it.
      itemCache_.Undo();
      throw;
    }
  });
  if (kept) {
    itemCache_.DropUndoLog();
    return true;
  }
  itemCache_.Undo();
  return false;
}

bool GroupService::RunRetryable(const std::function<void()>& change) {
  repository_->TakeLockMet();
  itemCache_.StartUndoLog();
  try {
    change();
  } catch (...) {
    itemCache_.DropUndoLog();
    throw;
  }
  if (!repository_->TakeLockMet()) {
    itemCache_.DropUndoLog();
    return true;
  }
  itemCache_.Undo();
  return false;
}

bool GroupService::FollowSharedChanges() { return !follower_ || follower_->CatchUp(); }

ChangeNotices GroupService::TakeSharedNotices() {
  return follower_ ? follower_->TakeNotices() : ChangeNotices();
}

void GroupService::WatchSharedChanges(std::function<bool()> wake) {
  if (IChangeLog* log = repository_->change_log()) log->Watch(std::move(wake));
}

void GroupService::NudgeSharedChanges() {
  if (IChangeLog* log = repository_->change_log()) log->Nudge();
}

void GroupService::StopWatchingSharedChanges() {
  if (IChangeLog* log = repository_->change_log()) log->StopWatching();
}

void GroupService::ClearItemCache() { itemCache_.Clear(); }

}  // namespace pga
