#include "store/postgres_group_repository.h"

#include <cstdio>
#include <utility>

#include "store/postgres_change_log.h"
#include "store/postgres_group_table.h"
#include "store/postgres_session.h"

namespace {

constexpr int32_t kLogicalTableKey = 0;
// Seconds to wait for the server when connecting.
constexpr std::size_t kConnectSeconds = 10;
// Servers that start at once create the tables one after the other: two
// CREATE TABLE IF NOT EXISTS at the same moment can both try to create.
constexpr char kLockSchema[] = "SELECT pg_advisory_xact_lock(25068, 1)";

void PrintFailure(const char* operation, const std::string& message) {
  std::printf("%s %s\n", operation, message.c_str());
}

}  // namespace

PostgresGroupRepository::PostgresGroupRepository(const std::string& conninfo,
                                                 std::chrono::seconds log_retention)
    : session_(std::make_shared<PostgresSession>(conninfo, kConnectSeconds)),
      table_(std::make_shared<PostgresGroupTable>(session_)),
      log_(std::make_unique<PostgresChangeLog>(session_, table_, log_retention)) {
  std::string error;
  const bool locked = session_->Begin(error) && session_->Exec(kLockSchema, error);
  if (!locked) PrintFailure("PostgresGroupRepository::CreateTables", error);
  table_->CreateTable();
  if (!log_->CreateTables(error)) PrintFailure("PostgresGroupRepository::CreateTables", error);
  if (locked && !session_->Commit(error)) {
    PrintFailure("PostgresGroupRepository::CreateTables", error);
  }
  session_->Rollback();
}

PostgresGroupRepository::~PostgresGroupRepository() {
  // The log's listener goes first: it may still be calling the owner.
  log_.reset();
  table_.reset();
  session_.reset();
}

PostgresGroupTable* PostgresGroupRepository::FindTable(int32_t table_key,
                                                       const char* operation) const {
  if (table_key == kLogicalTableKey) return table_.get();
  std::printf("%s no table under key %d\n", operation, static_cast<int>(table_key));
  return nullptr;
}

GroupModelList PostgresGroupRepository::GetGroups(int32_t table_key) {
  PostgresGroupTable* table = FindTable(table_key, "PostgresGroupRepository::GetGroups");
  return table ? table->GetGroups() : GroupModelList();
}

GroupOrderModelList PostgresGroupRepository::GetAll(int32_t table_key) {
  PostgresGroupTable* table = FindTable(table_key, "PostgresGroupRepository::GetAll");
  return table ? table->GetAll() : GroupOrderModelList();
}

GroupOrderItems PostgresGroupRepository::GetAllItems(int32_t table_key) {
  PostgresGroupTable* table = FindTable(table_key, "PostgresGroupRepository::GetAll");
  return table ? table->GetAllItems() : GroupOrderItems();
}

int32_t PostgresGroupRepository::GetLastOrder(int32_t table_key, std::string type,
                                              std::string parent_id) {
  PostgresGroupTable* table = FindTable(table_key, "PostgresGroupRepository::GetLastOrder");
  if (table == nullptr) return -1;
  // The order read here is used for writes of the same batch: the lock keeps
  // other servers from numbering under this parent until the batch ends.
  if (session_->InTransaction() && !table->LockParent(parent_id)) return -1;
  return table->GetLastOrder(std::move(type), std::move(parent_id));
}

std::shared_ptr<GroupOrderModel> PostgresGroupRepository::Get(int32_t table_key,
                                                              std::string uuid) {
  PostgresGroupTable* table = FindTable(table_key, "PostgresGroupRepository::Get");
  return table ? table->Get(std::move(uuid)) : nullptr;
}

bool PostgresGroupRepository::Update(int32_t table_key, const GroupOrderItems& items) {
  PostgresGroupTable* table = FindTable(table_key, "PostgresGroupRepository::Update");
  if (table == nullptr) return false;
  return RunInTransaction("PostgresGroupRepository::Update", [&] {
    for (const GroupOrderModel& item : items) {
      if (!MayWrite()) break;
      table->Update(item);
    }
  });
}

bool PostgresGroupRepository::Save(int32_t table_key, const GroupOrderModel& item) {
  PostgresGroupTable* table = FindTable(table_key, "PostgresGroupRepository::Save");
  return table != nullptr && MayWrite() && table->Save(item);
}

bool PostgresGroupRepository::Remove(int32_t table_key, std::string uuid) {
  PostgresGroupTable* table = FindTable(table_key, "PostgresGroupRepository::Remove");
  return table != nullptr && MayWrite() && table->Remove(std::move(uuid));
}

bool PostgresGroupRepository::Clear() {
  table_->Clear();
  return true;
}

bool PostgresGroupRepository::SaveAll(const GroupOrderItems& items) {
  for (const GroupOrderModel& item : items) table_->Save(item);
  return true;
}

bool PostgresGroupRepository::RunBatch(const std::function<void()>& writes) {
  return RunInTransaction("PostgresGroupRepository::RunBatch", writes);
}

IChangeLog* PostgresGroupRepository::change_log() { return log_.get(); }

bool PostgresGroupRepository::RunInTransaction(const char* operation,
                                               const std::function<void()>& writes) {
  if (batch_depth_ > 0) {
    writes();
    return MayWrite();
  }
  std::string error;
  batch_unbegun_ = !session_->Begin(error);
  // The writes still run, for what they do besides the store, but skip it.
  if (batch_unbegun_) PrintFailure(operation, error);
  ++batch_depth_;
  try {
    writes();
  } catch (...) {
    --batch_depth_;
    session_->Rollback();
    log_->EndBatch(false);
    throw;
  }
  --batch_depth_;
  bool kept = false;
  if (!batch_unbegun_) {
    kept = session_->Commit(error);
    if (!kept) PrintFailure(operation, error);
  }
  log_->EndBatch(kept);
  batch_unbegun_ = false;
  return kept;
}

bool PostgresGroupRepository::MayWrite() const {
  return batch_depth_ == 0 || (!batch_unbegun_ && !session_->TransactionFailed());
}
