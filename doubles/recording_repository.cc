#include "doubles/recording_repository.h"

#include <utility>

namespace pga {

RecordingRepository::RecordingRepository(std::shared_ptr<IGroupRepository> inner)
    : inner_(std::move(inner)) {}

std::vector<StoreUnit> RecordingRepository::TakeUnits() {
  std::vector<StoreUnit> units;
  units.swap(units_);
  return units;
}

GroupModelList RecordingRepository::GetGroups(int32_t table_key) {
  return inner_->GetGroups(table_key);
}

GroupOrderModelList RecordingRepository::GetAll(int32_t table_key) {
  return inner_->GetAll(table_key);
}

bool RecordingRepository::ReadAllItems(int32_t table_key, const StoredRowSink& take) {
  return inner_->ReadAllItems(table_key, take);
}

int32_t RecordingRepository::GetLastOrder(int32_t table_key, std::string type,
                                          std::string parent_id) {
  return inner_->GetLastOrder(table_key, std::move(type), std::move(parent_id));
}

std::shared_ptr<GroupOrderModel> RecordingRepository::Get(int32_t table_key, std::string uuid) {
  return inner_->Get(table_key, std::move(uuid));
}

bool RecordingRepository::Update(int32_t table_key, const GroupOrderItems& items) {
  StoreWrite write;
  write.kind = StoreWrite::Kind::kUpdate;
  write.table_key = table_key;
  write.items = items;
  write.ok = inner_->Update(table_key, items);
  return Note(std::move(write));
}

bool RecordingRepository::Save(int32_t table_key, const GroupOrderModel& item) {
  StoreWrite write;
  write.kind = StoreWrite::Kind::kSave;
  write.table_key = table_key;
  write.items = {item};
  write.ok = inner_->Save(table_key, item);
  return Note(std::move(write));
}

bool RecordingRepository::Remove(int32_t table_key, std::string uuid) {
  StoreWrite write;
  write.kind = StoreWrite::Kind::kRemove;
  write.table_key = table_key;
  write.id = uuid;
  write.ok = inner_->Remove(table_key, std::move(uuid));
  return Note(std::move(write));
}

bool RecordingRepository::Clear() {
  StoreWrite write;
  write.kind = StoreWrite::Kind::kClear;
  // The store answers true whether or not the table went: the record says
  // "not known" by claiming failure, so both outcomes are accepted.
  const bool answer = inner_->Clear();
  write.ok = false;
  Note(std::move(write));
  return answer;
}

bool RecordingRepository::SaveAll(const GroupOrderItems& items) {
  // Not used by the service; recorded as the saves it makes on table 0.
  const bool answer = inner_->SaveAll(items);
  for (const GroupOrderModel& item : items) {
    StoreWrite write;
    write.kind = StoreWrite::Kind::kSave;
    write.items = {item};
    write.ok = false;
    Note(std::move(write));
  }
  return answer;
}

IChangeLog* RecordingRepository::change_log() { return inner_->change_log(); }

bool RecordingRepository::TakeLockMet() { return inner_->TakeLockMet(); }

bool RecordingRepository::RunBatch(const std::function<void()>& writes) {
  if (batch_ != nullptr) return inner_->RunBatch(writes);
  batch_ = std::make_unique<StoreUnit>();
  bool kept = false;
  try {
    kept = inner_->RunBatch(writes);
  } catch (...) {
    batch_.reset();
    throw;
  }
  batch_->ok = kept;
  units_.push_back(std::move(*batch_));
  batch_.reset();
  return kept;
}

bool RecordingRepository::Note(StoreWrite write) {
  const bool ok = write.ok;
  if (batch_ != nullptr) {
    batch_->writes.push_back(std::move(write));
  } else {
    StoreUnit unit;
    unit.ok = ok;
    unit.writes.push_back(std::move(write));
    units_.push_back(std::move(unit));
  }
  return ok;
}

}  // namespace pga
