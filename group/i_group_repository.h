// The group store as the group service sees it.
#ifndef PGA_GROUP_I_GROUP_REPOSITORY_H_
#define PGA_GROUP_I_GROUP_REPOSITORY_H_

#include <cstdint>
#include <memory>
#include <string>

#include "group/group_model.h"

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
};

#endif  // PGA_GROUP_I_GROUP_REPOSITORY_H_
