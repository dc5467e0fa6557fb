#include "group/group_service.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "group/sqlite_group_repository.h"

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

GroupService::GroupService() : GroupService(std::make_shared<SqliteGroupRepository>()) {}

GroupService::GroupService(std::shared_ptr<IGroupRepository> repository)
    : repository_(std::move(repository)) {}

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

void GroupService::Clear() { repository_->Clear(); }

GroupOrderMap GroupService::GetItems() const { return itemCache_; }

std::optional<GroupOrderModel> GroupService::FindItem(const std::string& id) const {
  auto it = itemCache_.find(id);
  if (it == itemCache_.end()) return std::nullopt;
  return it->second;
}

GroupOrderItems GroupService::GetChildren(const std::string& id) const {
  GroupOrderItems children;
  if (const std::set<std::string>* ids = ChildrenOf(id)) {
    children.reserve(ids->size());
    for (const std::string& child : *ids) children.push_back(itemCache_.at(child));
  }
  return children;
}

void GroupService::CollectChannels(const std::string& group_id,
                                   std::vector<std::string>& out) const {
  // Explicit stack of the groups being walked, each with its next child, so
  // that a chain of any depth needs no recursion; `walked` stops cycles.
  struct Frame {
    std::set<std::string>::const_iterator next;
    std::set<std::string>::const_iterator end;
  };
  std::vector<Frame> stack;
  std::set<std::string> walked = {group_id};
  auto enter = [&](const std::string& id) {
    if (const std::set<std::string>* ids = ChildrenOf(id))
      stack.push_back({ids->begin(), ids->end()});
  };
  enter(group_id);
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next == top.end) {
      stack.pop_back();
      continue;
    }
    const std::string& child_id = *top.next++;
    if (itemCache_.at(child_id).type != kGroupType) {
      out.push_back(child_id);
    } else if (walked.insert(child_id).second) {
      enter(child_id);
    }
  }
}

void GroupService::LoadItems() {
  for (const auto& item : repository_->GetAll(kStartTableKey)) {
    if (item) InsertIfAbsent(*item);
  }
}

bool GroupService::CreateGroup(uint32_t table_key, GroupOrderModel& item,
                               GroupOrderModelList& modified) {
  item.order =
      NextOrder(repository_->GetLastOrder(StoreKey(table_key), kGroupType, item.ParentText()));
  const GroupOrderItems shifted = ShiftSiblings(item);
  UpdateItems(table_key, shifted);
  for (const GroupOrderModel& sibling : shifted) {
    modified.push_back(std::make_shared<GroupOrderModel>(sibling));
  }
  InsertIfAbsent(item);
  return repository_->Save(StoreKey(table_key), item);
}

GroupOrderItems GroupService::ShiftSiblings(const GroupOrderModel& item) const {
  GroupOrderItems shifted;
  const int32_t start = item.order;
  if (const std::set<std::string>* ids = ChildrenOf(item.ParentText())) {
    for (const std::string& id : *ids) {
      const GroupOrderModel& sibling = itemCache_.at(id);
      if (sibling.order >= start) shifted.push_back(sibling);
    }
  }
  std::stable_sort(
      shifted.begin(), shifted.end(),
      [](const GroupOrderModel& a, const GroupOrderModel& b) { return a.order < b.order; });
  int32_t order = start;
  for (GroupOrderModel& sibling : shifted) {
    order = NextOrder(order);
    sibling.order = order;
  }
  return shifted;
}

bool GroupService::SaveItem(uint32_t table_key, const GroupOrderModel& item) {
  Put(item);
  return repository_->Save(StoreKey(table_key), item);
}

bool GroupService::UpdateItems(uint32_t table_key, const GroupOrderItems& items) {
  for (const GroupOrderModel& item : items) Put(item);
  return repository_->Update(StoreKey(table_key), items);
}

bool GroupService::RemoveItem(uint32_t table_key, const std::string& id) {
  Erase(id);
  return repository_->Remove(StoreKey(table_key), id);
}

bool GroupService::AddChannels(uint32_t table_key, GroupOrderItems& items) {
  int32_t order = NextOrder(repository_->GetLastOrder(StoreKey(table_key), kChannelType, ""));
  std::stable_sort(items.begin(), items.end(),
                   [](const GroupOrderModel& a, const GroupOrderModel& b) {
                     return a.createdTime < b.createdTime;
                   });
  for (GroupOrderModel& item : items) {
    item.order = order;
    order = NextOrder(order);
    InsertIfAbsent(item);
    repository_->Save(StoreKey(table_key), item);
  }
  return true;
}

void GroupService::RemoveEmptyGroup(const std::string& id, GroupModelList& removed_groups,
                                    GroupOrderModelList& removed_items) {
  // Every pass that goes on erases one cached item, so the walk ends.
  std::string current = id;
  while (!current.empty() && ChildrenOf(current) == nullptr) {
    std::optional<std::string> parent;
    auto it = itemCache_.find(current);
    if (it != itemCache_.end()) parent = it->second.parentId;
    Erase(current);
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

void GroupService::ClearItemCache() {
  itemCache_.clear();
  children_.clear();
}

const std::set<std::string>* GroupService::ChildrenOf(const std::string& id) const {
  auto it = children_.find(ParentKey(id));
  return it == children_.end() ? nullptr : &it->second;
}

void GroupService::InsertIfAbsent(const GroupOrderModel& item) {
  if (itemCache_.try_emplace(item.itemId, item).second) Link(item.parentId, item.itemId);
}

void GroupService::Put(const GroupOrderModel& item) {
  auto [it, inserted] = itemCache_.try_emplace(item.itemId, item);
  if (inserted) {
    Link(item.parentId, item.itemId);
    return;
  }
  if (it->second.parentId != item.parentId) {
    Unlink(it->second.parentId, item.itemId);
    Link(item.parentId, item.itemId);
  }
  it->second = item;
}

void GroupService::Erase(const std::string& id) {
  auto it = itemCache_.find(id);
  if (it == itemCache_.end()) return;
  Unlink(it->second.parentId, id);
  itemCache_.erase(it);
}

void GroupService::Link(const ParentKey& parent, const std::string& id) {
  children_[parent].insert(id);
}

void GroupService::Unlink(const ParentKey& parent, const std::string& id) {
  auto it = children_.find(parent);
  if (it == children_.end()) return;
  it->second.erase(id);
  // No empty sets: a parent is in the index exactly when it has children.
  if (it->second.empty()) children_.erase(it);
}
