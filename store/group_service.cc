#include "store/group_service.h"

#include <algorithm>
#include <limits>
#include <unordered_map>
#include <utility>

#include "store/sqlite_group_repository.h"

namespace {

constexpr int32_t kStartTableKey = 0;

// The store keeps its tables under signed keys; the requests carry unsigned
// ones. Keys that do not fit name no table, which the store answers
// neutrally.
int32_t StoreKey(uint32_t table_key) { return static_cast<int32_t>(table_key); }

// The first eight bytes of `id` as a big-endian number (zeros after a
// shorter id): ids compare as their prefixes do, unless the prefixes are
// equal.
uint64_t IdPrefix(const std::string& id) {
  uint64_t prefix = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    prefix = (prefix << 8) | (i < id.size() ? static_cast<unsigned char>(id[i]) : 0u);
  }
  return prefix;
}

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
  if (const Children* entries = ChildrenOf(id)) {
    children.reserve(entries->size());
    for (const ChildLink& child : *entries) children.push_back(child.entry->second);
  }
  return children;
}

void GroupService::CollectChannels(const std::string& group_id,
                                   std::vector<std::string>& out) const {
  // Explicit stack of the groups being walked, each with its next child, so
  // that a chain of any depth needs no recursion; `walked` stops cycles.
  struct Frame {
    Children::const_iterator next;
    Children::const_iterator end;
  };
  std::vector<Frame> stack;
  std::set<std::string> walked = {group_id};
  auto enter = [&](const std::string& id) {
    if (const Children* entries = ChildrenOf(id)) {
      stack.push_back({entries->begin(), entries->end()});
    }
  };
  enter(group_id);
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next == top.end) {
      stack.pop_back();
      continue;
    }
    const ChildLink& child = *top.next++;
    if (!child.group) {
      out.push_back(child.id);
    } else if (walked.insert(child.id).second) {
      enter(child.id);
    }
  }
}

void GroupService::LoadItems() {
  GroupOrderItems stored = repository_->GetAllItems(kStartTableKey);
  // Taken in id order (stably, so the first row with an id still wins),
  // every entry goes in at the end of the cache, and the entries lie in
  // memory in the order that walks over the whole cache take. The sort
  // compares the ids' first bytes as one number before comparing them whole.
  std::vector<std::pair<uint64_t, GroupOrderModel*>> by_id;
  by_id.reserve(stored.size());
  for (GroupOrderModel& item : stored) by_id.emplace_back(IdPrefix(item.itemId), &item);
  std::stable_sort(by_id.begin(), by_id.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return a.second->itemId < b.second->itemId;
  });
  // Each parent's new children, in id order.
  std::unordered_map<ParentKey, std::vector<Entry>> added;
  for (const auto& [prefix, item] : by_id) {
    const std::size_t cached = itemCache_.size();
    // The stored items are ours alone: their texts move instead of copying.
    const Entry entry = itemCache_.try_emplace(itemCache_.end(), item->itemId, std::move(*item));
    if (itemCache_.size() != cached) added[entry->second.parentId].push_back(entry);
  }
  // A parent's children are linked one after the other, so that they lie
  // side by side in memory for the walks below a group.
  for (const auto& [parent, entries] : added) {
    Children& siblings = children_[parent];
    for (Entry entry : entries) siblings.insert(siblings.end(), LinkTo(entry));
  }
}

bool GroupService::CreateGroup(uint32_t table_key, GroupOrderModel& item,
                               GroupOrderModelList& modified) {
  item.order =
      NextOrder(repository_->GetLastOrder(StoreKey(table_key), kGroupType, item.ParentText()));
  const std::vector<Entry> siblings = SiblingsToShift(item);
  GroupOrderItems shifted = Renumbered(siblings, item.order);
  bool saved = false;
  const bool kept = repository_->RunBatch([&] {
    // What UpdateItems(shifted) would do, without looking the siblings up:
    // their parent and kind stay, so only their cached orders change.
    for (std::size_t i = 0; i < siblings.size(); ++i) siblings[i]->second.order = shifted[i].order;
    repository_->Update(StoreKey(table_key), shifted);
    for (const GroupOrderModel& sibling : shifted) {
      modified.push_back(std::make_shared<GroupOrderModel>(sibling));
    }
    InsertIfAbsent(item);
    saved = repository_->Save(StoreKey(table_key), item);
  });
  return saved && kept;
}

GroupOrderItems GroupService::ShiftSiblings(const GroupOrderModel& item) const {
  return Renumbered(SiblingsToShift(item), item.order);
}

std::vector<GroupService::Entry> GroupService::SiblingsToShift(const GroupOrderModel& item) const {
  std::vector<Entry> siblings;
  if (const Children* children = ChildrenOf(item.ParentText())) {
    siblings.reserve(children->size());
    for (const ChildLink& child : *children) {
      if (child.entry->second.order >= item.order) siblings.push_back(child.entry);
    }
  }
  // Stable: siblings of equal order stay in id order.
  std::stable_sort(siblings.begin(), siblings.end(),
                   [](Entry a, Entry b) { return a->second.order < b->second.order; });
  return siblings;
}

GroupOrderItems GroupService::Renumbered(const std::vector<Entry>& siblings, int32_t start) {
  GroupOrderItems renumbered;
  renumbered.reserve(siblings.size());
  int32_t order = start;
  for (Entry sibling : siblings) {
    order = NextOrder(order);
    renumbered.push_back(sibling->second);
    renumbered.back().order = order;
  }
  return renumbered;
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
  repository_->RunBatch([&] {
    for (GroupOrderModel& item : items) {
      item.order = order;
      order = NextOrder(order);
      InsertIfAbsent(item);
      repository_->Save(StoreKey(table_key), item);
    }
  });
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

bool GroupService::RunBatch(const std::function<void()>& changes) {
  return repository_->RunBatch(changes);
}

void GroupService::ClearItemCache() {
  children_.clear();
  itemCache_.clear();
}

GroupService::ChildIndex GroupService::child_index() const {
  ChildIndex index;
  for (const auto& [parent, entries] : children_) {
    std::set<std::string>& ids = index[parent];
    for (const ChildLink& child : entries) {
      // A link that disagrees with its entry would be a fault of the index.
      if (child.id == child.entry->first &&
          child.group == (child.entry->second.type == kGroupType)) {
        ids.insert(child.id);
      }
    }
  }
  return index;
}

const GroupService::Children* GroupService::ChildrenOf(const std::string& id) const {
  auto it = children_.find(id);
  return it == children_.end() ? nullptr : &it->second;
}

void GroupService::InsertIfAbsent(const GroupOrderModel& item) {
  auto [it, inserted] = itemCache_.try_emplace(item.itemId, item);
  if (inserted) Link(item.parentId, it);
}

void GroupService::Put(const GroupOrderModel& item) {
  auto [it, inserted] = itemCache_.try_emplace(item.itemId, item);
  if (inserted) {
    Link(item.parentId, it);
    return;
  }
  if (it->second.parentId != item.parentId) {
    Unlink(it->second.parentId, item.itemId);
    it->second = item;
    Link(item.parentId, it);
    return;
  }
  // Same parent: only the kind kept in the link may change.
  const bool was_group = it->second.type == kGroupType;
  it->second = item;
  if (was_group == (item.type == kGroupType)) return;
  auto siblings = children_.find(item.parentId);
  if (siblings == children_.end()) return;
  auto link = siblings->second.find(item.itemId);
  if (link != siblings->second.end()) link->group = item.type == kGroupType;
}

void GroupService::Erase(const std::string& id) {
  auto it = itemCache_.find(id);
  if (it == itemCache_.end()) return;
  Unlink(it->second.parentId, id);
  itemCache_.erase(it);
}

GroupService::ChildLink GroupService::LinkTo(Entry entry) {
  return ChildLink{entry->first, entry, entry->second.type == kGroupType};
}

void GroupService::Link(const ParentKey& parent, Entry entry) {
  children_[parent].insert(LinkTo(entry));
}

void GroupService::Unlink(const ParentKey& parent, const std::string& id) {
  auto it = children_.find(parent);
  if (it == children_.end()) return;
  auto child = it->second.find(id);
  if (child != it->second.end()) it->second.erase(child);
  // No empty sets: a parent is in the index exactly when it has children.
  if (it->second.empty()) children_.erase(it);
}
