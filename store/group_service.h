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
#include "store/change_notice.h"
#include "store/i_group_repository.h"
#include "store/item_cache.h"

namespace pga {

class ChangeFollower;

// Keeps an in-memory copy of every tree item (the item cache, in byte-wise id
// order) beside the store, and changes both together: every mutation changes
// the cache first, then the store, and a store failure leaves the cache
// changed. The cache indexes every parent's children (see ItemCache).
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
// A store that other servers share (one with a change log) is followed: the
// cache takes in the changes they commit, and every change of this server
// is logged with its notices (see RunChange and FollowSharedChanges). With
// a store of one server none of that happens.
//
// Create it with std::make_shared (shared_from_this() hands out references).
// Not thread-safe: the owner calls it from one thread at a time.
class GroupService : public std::enable_shared_from_this<GroupService> {
 public:
  // Opens the store that OpenGroupStore() chooses (by default the SQLite
  // file "group.db" in the current directory) and creates its table when
  // missing. Throws when the database cannot be opened.
  GroupService();
  // Uses `repository` (not null) as the store, for the whole service's life.
  explicit GroupService(std::shared_ptr<IGroupRepository> repository);
  GroupService(const GroupService&) = delete;
  GroupService& operator=(const GroupService&) = delete;
  ~GroupService();

  // Pass-through queries of the store; the cache is not involved.
  std::shared_ptr<GroupModelList> GetGroups(uint32_t table_key);
  std::shared_ptr<GroupOrderModelList> GetAll(uint32_t table_key);
  int32_t GetLastOrder(uint32_t table_key, const std::string& type, const std::string& parent_id);
  // Drops every table of the store; the cache keeps its items. A store that
  // other servers share keeps its table and only loses its rows, and the
  // cache is emptied with them: the clear is a change like any other, which
  // the caller announces (see the group component) and the other servers
  // follow.
  void Clear();

  // A copy of the whole cache.
  GroupOrderMap GetItems() const;
  // The cache itself, valid until the next mutation (see ItemCache::Model
  // for an item's record).
  const ItemCache::Entries& items() const { return itemCache_.entries(); }
  // Appends to `items` a shared copy of every cached item, in id order, and
  // to `groups` a group record for each item whose type is exactly "Group"
  // (what FillLogicalList makes of GetItems(), without the copy of the
  // whole cache in between: at site scale that copy costs as much as the
  // answer itself).
  void AppendLogicalList(GroupModelList& groups, GroupOrderModelList& items) const;
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
  // cached values. A shared store is followed from here on.
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

  // Runs `change` (calls of this service's mutations) so that it can be run
  // again later when the store was locked: when one of its batches failed
  // because another program kept a lock on the store past the wait
  // (IGroupRepository::TakeLockMet), every change it made to the cache is
  // taken back and the answer is false. The store kept none of that
  // batch; a batch of `change` that went through before it stays, so
  // `change` must be one that can run again over its own writes (removals,
  // or a single batch). Otherwise true, whatever else failed.
  bool RunRetryable(const std::function<void()>& change);

  // Empties the cache (the owner does so before it lets the service go).
  void ClearItemCache();

  // Whether other servers share the store.
  bool SharesStore() const { return follower_ != nullptr; }
  // Runs `change` (calls of this service's mutations, answering the notices
  // that announce them) as one batch of a shared store, which holds the
  // store's change lock from its start: first the cache takes in the other
  // servers' committed changes, then `change` runs on it, then its notices
  // are logged in the same batch. True when the batch was kept.
  // When it was not, what `change` did to the cache is taken back (what the
  // catch-up took in stays: others committed it). With a store of one
  // server, `change` simply runs and the answer is true.
  bool RunChange(const std::function<ChangeNotices()>& change);
  // Takes in the changes that other servers committed since the last call;
  // their notices wait in TakeSharedNotices(). True when the cache is up to
  // date (always with a store of one server).
  bool FollowSharedChanges();
  // The notices of the other servers' changes taken in so far, in the order
  // those servers sent them.
  ChangeNotices TakeSharedNotices();
  // Has a shared store call `wake`, from a thread of its own, whenever other
  // servers may have changed it; `wake` answers whether it caught up.
  void WatchSharedChanges(std::function<bool()> wake);
  // Has a shared store call the `wake` of WatchSharedChanges() again soon,
  // once it answers; nothing on a store of one server.
  void NudgeSharedChanges();
  // Whether a write could take the store's write lock now (see
  // IGroupRepository::CanWriteNow).
  bool CanWriteNow() { return repository_->CanWriteNow(); }
  // Whether the last change failed on what it carried (see
  // IGroupRepository::TakeDataRefused); reset by the call.
  bool TakeDataRefused() { return repository_->TakeDataRefused(); }
  // Why the store cannot take `text`, used as `use` says (see
  // IGroupRepository::Refusal).
  const char* StoreRefusal(const std::string& text, IGroupRepository::TextUse use) const {
    return repository_->Refusal(text, use);
  }
  // Ends the calls of `wake`; the caller must not hold a lock that `wake`
  // takes. Nothing happens with a store of one server.
  void StopWatchingSharedChanges();

  // The cache's parent-to-children index as ids, for consistency checks.
  std::map<std::string, std::set<std::string>> child_index() const { return itemCache_.ChildIds(); }

 private:
  std::shared_ptr<IGroupRepository> repository_;
  ItemCache itemCache_;
  // Keeps itemCache_ in step with a shared store; null for a store of one
  // server.
  std::unique_ptr<ChangeFollower> follower_;
};

}  // namespace pga

#endif  // PGA_STORE_GROUP_SERVICE_H_
