// How a GroupService keeps its item cache in step with a store that other
// servers change too.
#ifndef PGA_STORE_CHANGE_FOLLOWER_H_
#define PGA_STORE_CHANGE_FOLLOWER_H_

#include "store/change_notice.h"
#include "store/i_change_log.h"
#include "store/item_cache.h"

namespace pga {

// Follows a shared store's change log for one item cache. It applies each
// change another server committed to the cache (the items that the
// change's notices name are read again from the store) and keeps those
// notices, in order, for the owner to send on. It logs this server's own
// notices with the change that caused them. When the cache may have drifted
// from the store (it could not be read at the start, changes were trimmed
// from the log before they were read, a tool replaced the tree) the whole
// cache is read again before anything else is applied, and the differences
// are announced as notices of their own.
//
// Owns neither the log nor the cache, which must outlive it. Not
// thread-safe: it is used under the owner's lock, like the cache.
class ChangeFollower {
 public:
  ChangeFollower(IChangeLog& log, ItemCache& cache) : log_(log), cache_(cache) {}
  ChangeFollower(const ChangeFollower&) = delete;
  ChangeFollower& operator=(const ChangeFollower&) = delete;

  // Starts following at the log's end, then caches every stored item (ids
  // cached already keep their values). When the store cannot be read, the
  // cache is read whole at the next CatchUp() instead.
  void Load();

  // Applies the changes other servers committed since the last one applied,
  // oldest first, reading the cache whole first when it is marked stale.
  // True when nothing is left to apply; false when the store could not be
  // read: what was applied stays applied, the rest waits for the next call.
  bool CatchUp();

  // Logs `notices` as one change in the store's open batch. False when they
  // could not be written (the batch then fails).
  bool Log(const ChangeNotices& notices);

  // The notices of the changes applied so far, in order; they are not kept.
  ChangeNotices TakeNotices();

 private:
  // Reads every stored item into the cache in place of what it holds.
  bool Reload();
  // Applies one change and marks it applied.
  bool Apply(const LoggedChange& change);

  IChangeLog& log_;
  ItemCache& cache_;
  // Whether the log has a position to read on from.
  bool positioned_ = false;
  bool stale_ = false;
  ChangeNotices notices_;
};

}  // namespace pga

#endif  // PGA_STORE_CHANGE_FOLLOWER_H_
