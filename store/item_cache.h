// The group service's in-memory copy of the tree items.
#ifndef PGA_STORE_ITEM_CACHE_H_
#define PGA_STORE_ITEM_CACHE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "records/group_model.h"
#include "store/child_list.h"
#include "store/row_sorter.h"
#include "store/stored_row.h"

namespace pga {

// Tree items by id (byte-wise order), with an index from every parent to its
// children, so that the walks below a group cost in proportion to the items
// they touch, whatever the size of the tree. Only an item whose parent is
// present is somebody's child. Every change goes through this class, which
// keeps the index in step with the items.
//
// An item is kept as an Entry, not as a GroupOrderModel: its id is its key,
// and the texts that many items share are held once. At 100,000 items of
// 36-character ids this takes the cache from 499 to about 250 bytes per
// item (BM_CacheMemory in scripts/bench).
// Not thread-safe.
class ItemCache {
 public:
  // One cached item without its id. A present parent is the key of the
  // parent's place in the index (which exists while it has children, this
  // item among them); an absent one is null. The type is one of the
  // cache's type texts, each held once.
  struct Entry {
    const std::string* parent = nullptr;
    const std::string* type = nullptr;
    std::string name;
    int32_t order = -1;
    uint64_t createdTime = 0;
  };
  // Every item by id.
  using Entries = std::map<std::string, Entry>;
  // One child in the index: its cached entry, and whether it is a group, so
  // that a walk below a group reads the index alone. Looking each child up
  // by id instead takes six to nine times the CPU time of BM_GroupChannels;
  // reading the kind from the item, a sixth more.
  struct Child {
    const Entry* entry;
    bool group;
  };
  // The children of one parent, by id, side by side. An id of up to
  // ChildList's kInlineId bytes (a 36-character UUID) is copied into the
  // child's slot, where a walk reads it without a cache miss elsewhere;
  // a longer one is a view of the cached item's key.
  using Children = ChildList<Child>;

  // Takes the stored rows one at a time.
  using Sink = StoredRowSink;
  // Reads a store: hands every stored row to the sink it is given, as the
  // rows arrive, and answers whether the store could be read to the end.
  using Reader = std::function<bool(const Sink&)>;

  // Every item, in id order; valid until the next change.
  const Entries& entries() const { return items_; }
  // The item `id` with the fields of `entry`, as a record.
  static GroupOrderModel Model(std::string_view id, const Entry& entry);
  // The entry of the item `id`, or null; valid until the next change.
  const Entry* Find(const std::string& id) const;
  // The children of `id`, or null when it has none; valid until the next
  // change.
  const Children* ChildrenOf(std::string_view id) const;
  // The index as ids, parent by parent, for consistency checks. A link that
  // disagrees with the cached item of its id is left out.
  std::map<std::string, std::set<std::string>> ChildIds() const;

  // Runs `read` and caches every stored item whose id is not cached yet; of
  // stored items with the same id, the one of lowest order (the first given,
  // on a tie), as a read ascending by order would keep the first. The cache
  // is built while the rows arrive, on a thread of its own (see
  // ItemHandoff): items given ascending by id go in at the end of the map
  // and of their parent's children without a search, with no list of them
  // beside it. From the first row that breaks that order on, the rows are
  // kept aside and go in sorted once all are read (see RowSorter), many of
  // them on two threads (see AddSorted()): any order gives the same cache.
  // When `read` answers false the cache stays as it was; so does the
  // answer.
  bool Load(const Reader& read);
  // Inserts `item` unless its id is cached already (the cached item stays).
  void InsertIfAbsent(const GroupOrderModel& item);
  // Inserts `item`, or overwrites every field of the cached item with its id.
  void Put(const GroupOrderModel& item);
  // Sets the order of every cached item of `children` (all children of
  // `parent`) to that item's order; nothing else changes. The items are
  // found through the parent's links, which is much cheaper than through
  // the whole cache (see the source).
  void SetOrders(const std::string& parent, const GroupOrderItems& children);
  // Removes the item `id`, if cached.
  void Erase(const std::string& id);
  void Clear();

  // From now on, notes how to take back each change that InsertIfAbsent(),
  // Put(), SetOrders(), Erase() and Clear() make, for Undo(). A change that
  // the store did not keep can so be taken back from the cache alone, where
  // reading the store again would cost a start's time at site scale.
  void StartUndoLog();
  // Takes back every change noted since StartUndoLog(), latest first, and
  // stops noting.
  void Undo();
  // Keeps the changes and stops noting.
  void DropUndoLog() { undo_.reset(); }

 private:
  // One noted change: the item `id` as it was before, or nullopt when it
  // was not cached.
  struct Before {
    std::string id;
    std::optional<GroupOrderModel> item;
  };
  // Notes the item `id` as it is now, while the undo log is on.
  void Note(const std::string& id);

  // Copies every item to `aside` and empties the cache, which holds stored
  // items only.
  void MoveAside(RowSorter& aside);
  // Adds every row of `aside`, sorted, to a cache that holds stored items
  // only (see Load()). A large part of the rows goes in on a second thread,
  // into a cache of its own that is appended after (see the source).
  void AddSorted(const RowSorter& aside);
  // Where the part of the sorted rows of `aside` that a second thread takes
  // in starts: about half way, at a row whose id follows every cached id
  // and that of the row before. aside.size() when too few rows are kept
  // for a second thread to pay, or no row from half way to three quarters
  // will do.
  std::size_t SecondPart(const RowSorter& aside) const;
  // Adds the sorted rows of `aside` from `begin` to before `end`.
  void AddRange(const RowSorter& aside, std::size_t begin, std::size_t end);
  // Moves every item of `later`, a cache of stored items only whose every
  // id follows every id here, into this cache.
  void Append(ItemCache&& later);
  // Adds one stored row to a cache that holds stored items only (see
  // Load()). `next`: the cached item whose id most likely follows the
  // row's (end() when none does); answers the one that follows the row's
  // place, where the next row in id order goes.
  Entries::iterator AddStored(const StoredRow& row, Entries::iterator next);
  // Sets every field of `entry` but its parent from `item` (a
  // GroupOrderModel or a StoredRow).
  template <typename Item>
  void Assign(Entry& entry, const Item& item);
  // Sets the entry's parent to `parent` and links it there. `last`: its id
  // most likely follows every id linked under that parent so far, as stored
  // items come in id order; it then goes in at the end without a search
  // (and at its place when it does not).
  void Link(Entries::iterator it, std::optional<std::string_view> parent, bool last = false);
  void Unlink(Entries::iterator it);
  // The cache's copy of the type text `type`.
  const std::string* Intern(std::string_view type);

  // Rows kept aside from which a start takes in half on a second thread.
  static constexpr std::size_t kTwoThreadRows = 32768;
  // Items in id order at the start of a read that go aside with the rest
  // once a row breaks that order.
  static constexpr std::size_t kFewInOrder = 4096;

  Entries items_;
  // Present parent id to the cached items under it. A parent is here
  // exactly when it has children.
  std::map<std::string, Children, std::less<>> children_;
  // Every type text met since the last Clear(): "Group", "Channel" and the
  // odd text of a foreign row.
  std::set<std::string, std::less<>> types_;
  // The undo log, while on.
  std::optional<std::vector<Before>> undo_;
};

}  // namespace pga

#endif  // PGA_STORE_ITEM_CACHE_H_
