// The business logic of the camera tree: the item cache, the numbering of new
// and moved items, and the walks over the tree.
#ifndef PGA_STORE_GROUP_SERVICE_H_
#define PGA_STORE_GROUP_SERVICE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "records/group_model.h"
#include "store/i_group_repository.h"

// Keeps an in-memory copy of every tree item (the item cache, in byte-wise id
// order) beside the store, and changes both together: every mutation changes
// the cache first, then the store, and a store failure leaves the cache
// changed. Beside the cache it keeps an index from parent to children (each
// child linked to its cache entry), so that the walks cost in proportion to
// the items they touch, whatever the size of the tree.
//
// The operations that write more than once (CreateGroup, AddChannels) run
// their writes as one batch of the store: one transaction, kept whole or
// not at all. RunBatch() gives callers the same for a series of calls.
//
// Parents are compared as found in the cache: items loaded from the store
// carry a present, empty parent at the top level, items created during the
// run may carry an absent one, and only present parents make an item a
// child.
//
// Create it with std::make_shared (shared_from_this() hands out references).
// Not thread-safe: the owner calls it from one thread at a time.
class GroupService : public std::enable_shared_from_this<GroupService> {
 public:
  // Parent of an item as the index keys it: nullopt for an absent parent.
  using ParentKey = std::optional<std::string>;
  // Children ids (byte-wise order) of every parent that has children.
  using ChildIndex = std::map<ParentKey, std::set<std::string>>;

  // Opens the SQLite store ("group.db" in the current directory) and creates
  // its table when missing. Throws when the database cannot be opened.
  GroupService();
  // Uses `repository` (not null) as the store, for the whole service's life.
  explicit GroupService(std::shared_ptr<IGroupRepository> repository);
  GroupService(const GroupService&) = delete;
  GroupService& operator=(const GroupService&) = delete;

  // Pass-through queries of the store; the cache is not involved.
  std::shared_ptr<GroupModelList> GetGroups(uint32_t table_key);
  std::shared_ptr<GroupOrderModelList> GetAll(uint32_t table_key);
  int32_t GetLastOrder(uint32_t table_key, const std::string& type, const std::string& parent_id);
  // Drops every table of the store; the cache keeps its items.
  void Clear();

  // A copy of the whole cache.
  GroupOrderMap GetItems() const;
  // The cache itself, valid until the next mutation; for answers that copy
  // what they need of it.
  const GroupOrderMap& items() const { return itemCache_; }
  // A copy of the cached item `id`, if any.
  std::optional<GroupOrderModel> FindItem(const std::string& id) const;
  // Copies of the cached items whose parent is present and equal to `id`, in
  // id order.
  GroupOrderItems GetChildren(const std::string& id) const;
  // Appends to `out` the id of every non-group item below `group_id`, depth
  // first, children in id order, a group's items before its later siblings.
  // A group met again through a cycle of parent links is not walked twice,
  // so every leaf is listed once; deep chains use no recursion.
  void CollectChannels(const std::string& group_id, std::vector<std::string>& out) const;

  // Caches every stored item of table 0; an id cached already keeps its
  // cached values.
  void LoadItems();
  // Numbers `item` (a new group) right after the last stored group under its
  // parent, moves every cached sibling at or after that order one step back
  // (appended to `modified` as shared copies), caches `item` unless its id is
  // cached already, and saves it; the moves and the save are one batch.
  // True when the save succeeded and the batch was kept.
  bool CreateGroup(uint32_t table_key, GroupOrderModel& item, GroupOrderModelList& modified);
  // Caches `item` (overwriting a cached one) and saves it.
  bool SaveItem(uint32_t table_key, const GroupOrderModel& item);
  // Caches every item of `items` (overwriting cached ones, parent included),
  // then stores their orders and parents in one batch.
  bool UpdateItems(uint32_t table_key, const GroupOrderItems& items);
  // Removes the item `id` from the cache and the store.
  bool RemoveItem(uint32_t table_key, const std::string& id);
  // Sorts `items` (new top-level channels) by creation time, numbers them
  // after the last stored top-level item, caches those whose ids are new and
  // saves them all in one batch. Always true: store answers are ignored.
  bool AddChannels(uint32_t table_key, GroupOrderItems& items);
  // When `id` has no children: removes it from the cache and table 0,
  // records it in both lists, and goes on with its parent the same way. The
  // walk stops at an item with children, at one without parent and at the
  // top level: the empty id names no group, so it is never removed or
  // recorded.
  void RemoveEmptyGroup(const std::string& id, GroupModelList& removed_groups,
                        GroupOrderModelList& removed_items);

  // Copies of the cached siblings of `item` (same present parent, the empty
  // text standing for an absent one) whose order is at least `item.order`,
  // sorted by order (ties in id order) and renumbered `item.order` + 1, + 2...
  // Used by CreateGroup; changes nothing.
  GroupOrderItems ShiftSiblings(const GroupOrderModel& item) const;

  // Runs `changes` (calls of this service's mutations) with all of their
  // store writes in one batch of the store (IGroupRepository::RunBatch):
  // kept together or not at all. The cache changes as each call says,
  // whatever the store does. False when the batch failed.
  bool RunBatch(const std::function<void()>& changes);

  // Empties the cache (the owner does so before it lets the service go).
  void ClearItemCache();
  // The parent-to-children index as ids, built for consistency checks.
  ChildIndex child_index() const;

 private:
  using Entry = GroupOrderMap::iterator;
  // One child in the index. Its id and kind are kept beside the link to its
  // cache entry, so that a walk below a group reads the index alone, whose
  // links to one parent lie side by side in memory once loaded.
  struct ChildLink {
    std::string id;
    Entry entry;
    // Whether the entry's type is "Group"; Put() keeps it in step.
    mutable bool group;
  };
  // Orders links by id, and finds them by id.
  struct ById {
    using is_transparent = void;
    bool operator()(const ChildLink& a, const ChildLink& b) const { return a.id < b.id; }
    bool operator()(const ChildLink& a, const std::string& b) const { return a.id < b; }
    bool operator()(const std::string& a, const ChildLink& b) const { return a < b.id; }
  };
  // Finds a present parent by its text without making a key of it.
  struct ByParent {
    using is_transparent = void;
    bool operator()(const ParentKey& a, const ParentKey& b) const { return a < b; }
    bool operator()(const ParentKey& a, const std::string& b) const { return !a || *a < b; }
    bool operator()(const std::string& a, const ParentKey& b) const { return b && a < *b; }
  };
  using Children = std::set<ChildLink, ById>;

  // The cache entries of the siblings that a new `item` moves back: those
  // under its parent (the empty text for an absent one) whose order is at
  // least `item.order`, by order.
  std::vector<Entry> SiblingsToShift(const GroupOrderModel& item) const;
  // Copies of `siblings` numbered `start` + 1, + 2...
  static GroupOrderItems Renumbered(const std::vector<Entry>& siblings, int32_t start);
  // The links to the cache entries whose parent is present and equal to
  // `id`, in id order; null when none.
  const Children* ChildrenOf(const std::string& id) const;
  void InsertIfAbsent(const GroupOrderModel& item);
  // Inserts `item` or overwrites the cached item with its id.
  void Put(const GroupOrderModel& item);
  void Erase(const std::string& id);
  static ChildLink LinkTo(Entry entry);
  void Link(const ParentKey& parent, Entry entry);
  void Unlink(const ParentKey& parent, const std::string& id);

  std::shared_ptr<IGroupRepository> repository_;
  GroupOrderMap itemCache_;
  // In step with itemCache_: every cache entry is linked under its parent's
  // key. Entries of a std::map stay valid until erased, and Erase() unlinks
  // them first.
  std::map<ParentKey, Children, ByParent> children_;
};

#endif  // PGA_STORE_GROUP_SERVICE_H_
