// The group store as the group service sees it.
#ifndef PGA_STORE_I_GROUP_REPOSITORY_H_
#define PGA_STORE_I_GROUP_REPOSITORY_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "records/group_model.h"
#include "store/i_change_log.h"

namespace pga {

// The tables of tree items, each under an integer table key (the store keeps
// one table, key 0). Operations that name a table forward to it and give its
// results unchanged, including its neutral results after a database failure.
// Not thread-safe: use from one thread at a time.
class IGroupRepository {
 public:
  IGroupRepository() = default;
  IGroupRepository(const IGroupRepository&) = delete;
  IGroupRepository& operator=(const IGroupRepository&) = delete;
  virtual ~IGroupRepository() = default;

  // The stored groups (records without parent).
  virtual GroupModelList GetGroups(int32_t table_key) = 0;
  // Every stored item, ascending by order.
  virtual GroupOrderModelList GetAll(int32_t table_key) = 0;
  // Largest order under `parent_id`; of groups only when `type` is "Group".
  // 0 when nothing matches, -1 on failure.
  virtual int32_t GetLastOrder(int32_t table_key, std::string type, std::string parent_id) = 0;
  // The stored item with id `uuid` (a record with an empty id when there is
  // none), or null on failure.
  virtual std::shared_ptr<GroupOrderModel> Get(int32_t table_key, std::string uuid) = 0;
  // Stores the order and parent of every item of `items` in one transaction.
  // A failing item does not stop the batch; false when the transaction could
  // not be begun or committed.
  virtual bool Update(int32_t table_key, const GroupOrderItems& items) = 0;
  // Creates or replaces the row of `item`.
  virtual bool Save(int32_t table_key, const GroupOrderModel& item) = 0;
  // Deletes the row of `uuid`; true also when there is none.
  virtual bool Remove(int32_t table_key, std::string uuid) = 0;
  // Drops every table. Always true.
  virtual bool Clear() = 0;
  // Saves every item into every table, without a transaction. Always true.
  virtual bool SaveAll(const GroupOrderItems& items) = 0;

  // Runs `writes`, which call this repository's operations, so that the
  // store keeps all of their changes or none: a store with transactions runs
  // them in one and commits it once. Each write still answers for itself.
  // False when the batch as a whole failed (it could not begin or commit, or
  // a failure ended it early): none of its changes are kept, and writes met
  // after such a failure answer false without touching the store. `writes`
  // always runs. A batch run from inside another joins it. This default
  // simply runs `writes`, for stores that write each change at once.
  virtual bool RunBatch(const std::function<void()>& writes) {
    writes();
    return true;
  }

  // Whether a batch failed since the last call because another connection
  // kept a lock on the store past the store's wait (a store that others may
  // lock, such as an SQLite file that a tool holds open); the answer is
  // reset by the call. Such a failure passes: the same change can be tried
  // again later. This default, for stores that nobody else locks, answers
  // false.
  virtual bool TakeLockMet() { return false; }

  // Whether a write could take the store's write lock now, as far as
  // another connection's lock goes; found out without waiting, writing or
  // a line. Another failure to take it answers true: trying the write is
  // what tells. This default, for stores that nobody else locks, answers
  // true.
  virtual bool CanWriteNow() { return true; }

  // Whether the last batch failed on what one of its writes carried, which
  // the same write would meet again whenever it is tried (unlike a store
  // that is away or busy); reset by the call. This default, for stores
  // that fail no batch so, answers false.
  virtual bool TakeDataRefused() { return false; }

  // How a text of an item is used: written as an id (the item's own or its
  // parent's), which the store keys its rows by, or otherwise (a name, a
  // type, an id looked up).
  enum class TextUse { kWrittenId, kOther };
  // Why the store cannot take `text` as a text of an item, used as `use`
  // says, or null (this default, for stores that take any text) when it
  // can.
  virtual const char* Refusal(const std::string& /*text*/, TextUse /*use*/) const {
    return nullptr;
  }

  // The log of changes of a store that other servers share, through which
  // each server follows the others; null (this default) for a store of one
  // server. Owned by the repository and valid as long as it lives.
  virtual IChangeLog* change_log() { return nullptr; }

  // Hands every stored row to `take` as it is read, in the order the store
  // reads fastest (see IGroupTable::ReadAllItems), for a reader that builds
  // a structure of its own from them: no list of all items is made here.
  // False on failure; the reader then drops what it took. This default
  // hands over GetAll()'s items, ascending by order.
  virtual bool ReadAllItems(int32_t table_key, const StoredRowSink& take) {
    for (const auto& item : GetAll(table_key)) {
      if (item) take(RowOf(*item));
    }
    return true;
  }
};

}  // namespace pga

#endif  // PGA_STORE_I_GROUP_REPOSITORY_H_
