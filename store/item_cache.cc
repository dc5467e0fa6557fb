#include "store/item_cache.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>

#include "store/item_handoff.h"

namespace pga {

template <typename Item>
void ItemCache::Assign(Entry& entry, const Item& item) {
  entry.type = Intern(item.type);
  entry.name = item.name;
  entry.order = item.order;
  entry.createdTime = item.createdTime;
}

GroupOrderModel ItemCache::Model(std::string_view id, const Entry& entry) {
  GroupOrderModel item;
  item.itemId = id;
  if (entry.parent != nullptr) item.parentId = *entry.parent;
  item.name = entry.name;
  item.type = *entry.type;
  item.order = entry.order;
  item.createdTime = entry.createdTime;
  return item;
}

const ItemCache::Entry* ItemCache::Find(const std::string& id) const {
  auto it = items_.find(id);
  return it == items_.end() ? nullptr : &it->second;
}

const ItemCache::Children* ItemCache::ChildrenOf(std::string_view id) const {
  auto it = children_.find(id);
  return it == children_.end() ? nullptr : &it->second;
}

std::map<std::string, std::set<std::string>> ItemCache::ChildIds() const {
  std::map<std::string, std::set<std::string>> ids;
  for (const auto& [parent, children] : children_) {
    std::set<std::string>& linked = ids[parent];
    for (const auto& slot : children) {
      const std::string_view id = slot.id();
      const Child& link = slot.value();
      auto cached = items_.find(std::string(id));
      // A long id is a view of the cached id itself, which stays in place.
      if (cached != items_.end() &&
          (id.size() <= Children::kInlineId || cached->first.data() == id.data()) &&
          link.entry == &cached->second && link.entry->parent == &parent &&
          link.group == (*link.entry->type == kGroupType)) {
        linked.emplace(id);
      }
    }
  }
  return ids;
}

bool ItemCache::Load(const Reader& read) {
  // Built apart, so that a read that fails half way leaves nothing behind.
  ItemCache stored;
  // The rows from the first that breaks the id order on, kept aside until
  // every row is read (see RowSorter). They are copied aside on the
  // cache's thread, beside the reading: copied on the reading thread
  // instead, at 1,001,000 items read as SQLite keeps them, the start took
  // 1.09 to 1.80 s against 0.84 to 1.25 s, and 411 MB at its peak against
  // 339 to 373 MB (scripts/bench --scale, eight runs each, interleaved).
  RowSorter aside;
  // Built on a thread of its own while the rows are read; the handoff ends
  // before `stored` and `aside` do.
  ItemHandoff handoff([&stored, &aside](const StoredRow& row) {
    if (aside.empty() && (stored.items_.empty() ||
                          std::string_view(std::prev(stored.items_.end())->first) < row.itemId)) {
      stored.AddStored(row, stored.items_.end());
      return;
    }
    // A few rows in id order at the start of a read in no order of ids
    // go aside too: a second thread takes in only rows that follow every
    // cached id (see AddSorted()).
    if (aside.empty() && stored.items_.size() <= kFewInOrder) stored.MoveAside(aside);
    aside.Add(row);
  });
  if (!read([&handoff](const StoredRow& row) { handoff.Give(row); })) return false;
  handoff.Finish();
  aside.Sort();
  stored.AddSorted(aside);
  if (items_.empty()) {
    // The usual start: the built cache is taken over whole; map nodes do
    // not move, so every link and shared text stays valid.
    *this = std::move(stored);
    return true;
  }
  for (const auto& [id, entry] : stored.items_) InsertIfAbsent(Model(id, entry));
  return true;
}

void ItemCache::MoveAside(RowSorter& aside) {
  for (const auto& [id, entry] : items_) aside.Add(RowOf(Model(id, entry)));
  Clear();
}

void ItemCache::AddSorted(const RowSorter& aside) {
  // Once every row is read, taking the rows in is the start's last step,
  // with the second processor idle: the later part goes in on it, into a
  // map of its own whose nodes then move over whole. A start of 1,001,000
  // items from rows in memory took 0.38 to 0.40 s against 0.44 to 0.48 s
  // on one thread; of 50,000, 17 to 22 ms against 22 to 24 ms (medians,
  // three runs each).
  const std::size_t second = SecondPart(aside);
  ItemCache later;
  std::exception_ptr failed;
  std::thread builder;
  if (second < aside.size()) {
    try {
      builder = std::thread([&later, &aside, &failed, second] {
        try {
          later.AddRange(aside, second, aside.size());
        } catch (...) {
          failed = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      // No thread to be had: every row goes in on this one.
    }
  }
  try {
    AddRange(aside, 0, builder.joinable() ? second : aside.size());
  } catch (...) {
    if (builder.joinable()) builder.join();
    throw;
  }
  if (!builder.joinable()) return;
  builder.join();
  if (failed) std::rethrow_exception(failed);
  Append(std::move(later));
}

std::size_t ItemCache::SecondPart(const RowSorter& aside) const {
  const std::size_t size = aside.size();
  if (size < kTwoThreadRows) return size;
  // The first row from half way on whose id follows that of the row before
  // half way and every cached id.
  std::string_view after = aside.IdAt(size / 2 - 1);
  if (!items_.empty()) after = std::max(after, std::string_view(std::prev(items_.end())->first));
  std::size_t low = size / 2;
  std::size_t high = size;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (aside.IdAt(middle) <= after) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low <= size - size / 4 ? low : size;
}

void ItemCache::AddRange(const RowSorter& aside, std::size_t begin, std::size_t end) {
  auto next = items_.begin();
  aside.Take(begin, end, [this, &next](const StoredRow& row) { next = AddStored(row, next); });
}

void ItemCache::Append(ItemCache&& later) {
  // Each entry of `later` is pointed at this cache's copy of its type text
  // and, where this cache has children of its parent already, at this
  // cache's place of the parent, whose children it joins.
  std::vector<std::pair<const std::string*, const std::string*>> types;
  for (const std::string& type : later.types_) types.emplace_back(&type, Intern(type));
  std::unordered_map<const std::string*, const std::string*> parents;
  for (auto it = later.children_.begin(); it != later.children_.end();) {
    auto here = children_.find(it->first);
    if (here == children_.end()) {
      // Moved whole: its node, which holds the parent text that its
      // children point at, stays where it is.
      children_.insert(later.children_.extract(it++));
      continue;
    }
    parents.emplace(&it->first, &here->first);
    here->second.Append(std::move(it->second));
    ++it;
  }
  // Map nodes move between maps of the same kind without being copied, so
  // every link to an entry stays valid.
  while (!later.items_.empty()) {
    auto node = later.items_.extract(later.items_.begin());
    Entry& entry = node.mapped();
    for (const auto& [from, to] : types) {
      if (entry.type == from) {
        entry.type = to;
        break;
      }
    }
    if (entry.parent != nullptr) {
      auto moved = parents.find(entry.parent);
      if (moved != parents.end()) entry.parent = moved->second;
    }
    items_.insert(items_.end(), std::move(node));
  }
}

ItemCache::Entries::iterator ItemCache::AddStored(const StoredRow& row, Entries::iterator next) {
  // Where the caller expects it, the row goes in without a search (rows in
  // id order come one after the other); anywhere else, after one search.
  const bool there =
      (next == items_.end() || row.itemId < std::string_view(next->first)) &&
      (next == items_.begin() || std::string_view(std::prev(next)->first) < row.itemId);
  if (!there) {
    next = items_.lower_bound(std::string(row.itemId));
    if (next != items_.end() && next->first == row.itemId) {
      // The same id again: the lower order wins, as if read by order.
      if (row.order < next->second.order) {
        Unlink(next);
        Assign(next->second, row);
        Link(next, row.parentId);
      }
      return std::next(next);
    }
  }
  auto it = items_.emplace_hint(next, std::string(row.itemId), Entry());
  Assign(it->second, row);
  Link(it, row.parentId, true);
  return next;
}

void ItemCache::InsertIfAbsent(const GroupOrderModel& item) {
  Note(item.itemId);
  auto [it, inserted] = items_.try_emplace(item.itemId);
  if (!inserted) return;
  Assign(it->second, item);
  Link(it, item.parentId);
}

void ItemCache::Put(const GroupOrderModel& item) {
  Note(item.itemId);
  auto [it, inserted] = items_.try_emplace(item.itemId);
  Entry& entry = it->second;
  if (inserted) {
    Assign(entry, item);
    Link(it, item.parentId);
    return;
  }
  const bool same_parent =
      entry.parent == nullptr ? !item.parentId : item.parentId && *item.parentId == *entry.parent;
  if (!same_parent) {
    Unlink(it);
    Assign(entry, item);
    Link(it, item.parentId);
    return;
  }
  // Same place in the index; only the kind kept there may change.
  const bool group = item.type == kGroupType;
  if (entry.parent != nullptr && group != (*entry.type == kGroupType)) {
    children_.find(*entry.parent)->second.Find(it->first)->group = group;
  }
  Assign(entry, item);
}

void ItemCache::SetOrders(const std::string& parent, const GroupOrderItems& children) {
  // Looking each of the 180 siblings that BM_CreateGroup moves up among the
  // 50,000 items of the whole cache costs it a tenth to a sixth more CPU
  // time (median 1.12 ms against 0.93 ms).
  auto links = children_.find(parent);
  if (links == children_.end()) return;
  for (const GroupOrderModel& child : children) {
    const Child* link = links->second.Find(child.itemId);
    // The entries are the cache's own; the links hold them as const only so
    // that readers of the index cannot change them.
    if (link != nullptr) {
      Note(child.itemId);
      const_cast<Entry*>(link->entry)->order = child.order;
    }
  }
}

void ItemCache::Erase(const std::string& id) {
  auto it = items_.find(id);
  if (it == items_.end()) return;
  Note(id);
  Unlink(it);
  items_.erase(it);
}

void ItemCache::Clear() {
  if (undo_) {
    for (const auto& [id, entry] : items_) undo_->push_back({id, Model(id, entry)});
  }
  children_.clear();
  items_.clear();
  types_.clear();
}

void ItemCache::StartUndoLog() { undo_.emplace(); }

void ItemCache::Undo() {
  if (!undo_) return;
  std::vector<Before> log = std::move(*undo_);
  undo_.reset();
  for (auto before = log.rbegin(); before != log.rend(); ++before) {
    if (before->item) {
      Put(*before->item);
    } else {
      Erase(before->id);
    }
  }
}

void ItemCache::Note(const std::string& id) {
  if (!undo_) return;
  const Entry* entry = Find(id);
  undo_->push_back({id, entry != nullptr ? std::optional(Model(id, *entry)) : std::nullopt});
}

void ItemCache::Link(Entries::iterator it, std::optional<std::string_view> parent, bool last) {
  Entry& entry = it->second;
  if (!parent) {
    entry.parent = nullptr;
    return;
  }
  auto siblings = children_.find(*parent);
  if (siblings == children_.end()) siblings = children_.emplace(*parent, Children()).first;
  entry.parent = &siblings->first;
  const Child child{&entry, *entry.type == kGroupType};
  siblings->second.Insert(it->first, child, last);
}

void ItemCache::Unlink(Entries::iterator it) {
  Entry& entry = it->second;
  if (entry.parent == nullptr) return;
  auto siblings = children_.find(*entry.parent);
  entry.parent = nullptr;
  if (siblings == children_.end()) return;
  siblings->second.Erase(it->first);
  if (siblings->second.empty()) children_.erase(siblings);
}

const std::string* ItemCache::Intern(std::string_view type) {
  auto it = types_.find(type);
  if (it == types_.end()) it = types_.emplace(type).first;
  return &*it;
}

}  // namespace pga
