// The storage of one table of tree items.
#ifndef PGA_STORE_I_GROUP_TABLE_H_
#define PGA_STORE_I_GROUP_TABLE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "records/group_model.h"
#include "store/stored_row.h"

namespace pga {

// One table of tree items, one row per item, keyed by item id. Every
// operation runs at once; database failures are reported on standard output
// and turned into the neutral result each operation names, never thrown.
// Not thread-safe: use from one thread at a time.
class IGroupTable {
 public:
  IGroupTable() = default;
  IGroupTable(const IGroupTable&) = delete;
  IGroupTable& operator=(const IGroupTable&) = delete;
  virtual ~IGroupTable() = default;

  // Creates the table unless it exists already.
  virtual void CreateTable() = 0;

  // The group items, as group records without parent, in the database's order.
  virtual GroupModelList GetGroups() = 0;

  // Every item, ascending by order; parents are present (empty for the top
  // level). After a failure: the items read so far.
  virtual GroupOrderModelList GetAll() = 0;

  // The largest order under `parent_id` (of groups only when `type` is
  // exactly "Group", else of every item); 0 when nothing matches, -1 on
  // failure.
  virtual int32_t GetLastOrder(std::string type, std::string parent_id) = 0;

  // The item with id `uuid`; a record with empty id and order 0 when there is
  // none; null on failure.
  virtual std::shared_ptr<GroupOrderModel> Get(std::string uuid) = 0;

  // Stores `item`'s order and parent (absent as the empty text) in the row
  // with its id. True also when no row has that id; false on failure.
  virtual bool Update(const GroupOrderModel& item) = 0;

  // Creates or replaces whole the row of `item`. False on failure.
  virtual bool Save(const GroupOrderModel& item) = 0;

  // Deletes the row with id `uuid` (children are not touched). True also
  // when no row has that id; false on failure.
  virtual bool Remove(std::string uuid) = 0;

  // Drops the table; only CreateTable() makes it again. False on failure.
  virtual bool Clear() = 0;

  // Whether the last operation that failed did so because another
  // connection held a lock on the database (it waited as long as the store
  // waits and gave up), as opposed to a failure of the statement itself or
  // of the disk. This default: never.
  virtual bool LastFailureWasLock() const { return false; }

  // Hands every row to `take` as it is read, in the order that the store
  // reads fastest (both stores: as the table keeps them, unsorted), for a
  // reader that builds a structure of its own from them: no list of all
  // items is made here. On failure prints the GetAll line and answers
  // false; the reader then drops what it took. This default hands over
  // GetAll()'s items, ascending by order.
  virtual bool ReadAllItems(const StoredRowSink& take) {
    for (const auto& item : GetAll()) {
      if (item) take(RowOf(*item));
    }
    return true;
  }
};

}  // namespace pga

#endif  // PGA_STORE_I_GROUP_TABLE_H_
