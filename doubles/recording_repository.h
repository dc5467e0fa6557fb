// RecordingRepository: a test double that stands between the group service
// and its real store and writes down every change the service asks for, as
// the store's transactions will keep or drop them, with the store's answers.
// A test compares the stored table with these records to tell whether the
// store kept what it acknowledged and kept each transaction whole.
#ifndef PGA_DOUBLES_RECORDING_REPOSITORY_H_
#define PGA_DOUBLES_RECORDING_REPOSITORY_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/i_group_repository.h"

namespace pga {

// One write the service asked of the store.
struct StoreWrite {
  enum class Kind { kSave, kUpdate, kRemove, kClear };
  Kind kind = Kind::kSave;
  int32_t table_key = 0;
  // Save: the one item; Update: every item of the call.
  GroupOrderItems items;
  // Remove: the id.
  std::string id;
  // What the store answered for this write.
  bool ok = false;
};

// Writes that the store keeps together or not at all: one batch, or one
// write made outside any batch (its own transaction).
struct StoreUnit {
  std::vector<StoreWrite> writes;
  // What the store answered for the whole unit: the batch's answer, or the
  // lone write's.
  bool ok = false;
};

class RecordingRepository : public IGroupRepository {
 public:
  // Forwards every call to `inner` (not null).
  explicit RecordingRepository(std::shared_ptr<IGroupRepository> inner);

  // The units recorded since the last call, in the order they ended.
  std::vector<StoreUnit> TakeUnits();

  GroupModelList GetGroups(int32_t table_key) override;
  GroupOrderModelList GetAll(int32_t table_key) override;
  bool ReadAllItems(int32_t table_key, const StoredRowSink& take) override;
  int32_t GetLastOrder(int32_t table_key, std::string type, std::string parent_id) override;
  std::shared_ptr<GroupOrderModel> Get(int32_t table_key, std::string uuid) override;
  bool Update(int32_t table_key, const GroupOrderItems& items) override;
  bool Save(int32_t table_key, const GroupOrderModel& item) override;
  bool Remove(int32_t table_key, std::string uuid) override;
  bool Clear() override;
  bool SaveAll(const GroupOrderItems& items) override;
  bool RunBatch(const std::function<void()>& writes) override;
  // The inner store's log: its appends join the batches recorded here.
  IChangeLog* change_log() override;
  bool TakeLockMet() override;

 private:
  // Notes `write` in the open batch, or as a unit of its own.
  bool Note(StoreWrite write);

  std::shared_ptr<IGroupRepository> inner_;
  std::vector<StoreUnit> units_;
  // The batch being recorded while RunBatch runs; batches inside it join it.
  std::unique_ptr<StoreUnit> batch_;
};

}  // namespace pga

#endif  // PGA_DOUBLES_RECORDING_REPOSITORY_H_
