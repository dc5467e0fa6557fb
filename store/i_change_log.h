// The log of changes that a store shared by several servers keeps, so that
// each server can follow what the others change.
#ifndef PGA_STORE_I_CHANGE_LOG_H_
#define PGA_STORE_I_CHANGE_LOG_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "records/group_model.h"
#include "store/stored_row.h"

namespace pga {

// One notification of a change as the log keeps it: its name
// ("LogicalGroupCreated", ...) and the JSON text of its change record.
struct LoggedNotice {
  std::string kind;
  std::string record;
};

// One change that another server committed: its place in the log (larger
// is later) and its notifications, in the order that server sent them.
struct LoggedChange {
  int64_t seq = 0;
  std::vector<LoggedNotice> notices;
};

// What the log holds after the last change marked applied.
struct LogTail {
  // Set when changes after that one were trimmed from the log before they
  // could be read: the reader cannot replay them and must read the whole
  // tree again.
  bool lost = false;
  std::vector<LoggedChange> changes;
};

// A log of the changes made to one shared store, in the order they were
// committed, each with its notifications. The writer appends a change's
// notifications inside the transaction that makes the change; readers on
// other servers read what they have not applied yet. Used from one thread
// at a time, except Watch() and StopWatching(), which say what they do.
class IChangeLog {
 public:
  IChangeLog() = default;
  IChangeLog(const IChangeLog&) = delete;
  IChangeLog& operator=(const IChangeLog&) = delete;
  virtual ~IChangeLog() = default;

  // Adds `notices` to the log as one change, in the store's open batch, so
  // that they are kept exactly when the batch is. Nothing is written for an
  // empty list. False when they could not be written; the batch then fails.
  virtual bool Append(const std::vector<LoggedNotice>& notices) = 0;

  // Makes ReadNew() start after the last change committed now. False when
  // the log cannot be read.
  virtual bool StartAtEnd() = 0;

  // The changes committed after the last one marked applied (or the start
  // position) by other servers, oldest first; this server's own changes are
  // passed over. nullopt when the log cannot be read now.
  virtual std::optional<LogTail> ReadNew() = 0;

  // Marks the changes up to `seq` applied: ReadNew() goes on after it.
  virtual void MarkApplied(int64_t seq) = 0;

  // The stored items with the ids `ids` (ids with no row are left out), or
  // nullopt when they cannot be read.
  virtual std::optional<GroupOrderItems> ReadItems(const std::vector<std::string>& ids) = 0;

  // Hands every stored row to `take` as it is read, as ReadAllItems() of
  // the repository does; false when they cannot be read (the reader then
  // drops what it took).
  virtual bool ReadAllItems(const StoredRowSink& take) = 0;

  // Starts calling `wake` on a thread of the log's own whenever other
  // servers may have committed changes, and once the log can be reached
  // again after it could not. `wake` answers whether it caught up; when it
  // did not, it is called again a little later. A second call while
  // watching changes nothing.
  virtual void Watch(std::function<bool()> wake) = 0;

  // Stops watching; returns when `wake` is no longer running. The caller
  // must not hold anything that `wake` waits for.
  virtual void StopWatching() = 0;

  // Has `wake` called again soon while watching, as if it had answered
  // false, once the log can be reached: for work of the caller's that waits
  // for the store to be back. From any thread.
  virtual void Nudge() = 0;
};

}  // namespace pga

#endif  // PGA_STORE_I_CHANGE_LOG_H_
