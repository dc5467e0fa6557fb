#include "store/postgres_group_repository.h"

#include <cstdio>
#include <utility>

#include "store/postgres_change_log.h"
#include "store/postgres_group_table.h"
#include "store/postgres_session.h"
#include "store/postgres_transaction.h"

namespace pga {

namespace {

constexpr int32_t kLogicalTableKey = 0;
// Seconds one attempt to connect waits for the server.
constexpr std::size_t kConnectSeconds = 10;
// Servers that start at once create the tables one after the other: two
// CREATE TABLE IF NOT EXISTS at the same moment can both try to create.
constexpr char kLockSchema[] = "SELECT pg_advisory_xact_lock(25068, 1)";

// Succeeds only when every table and index of the store exists (as the
// search path finds them): the cast of a missing name fails.
constexpr char kAllThere[] =
    "SELECT 'logical_table'::regclass, 'logical_table_parent_order'::regclass,"
    " 'logical_table_group_order'::regclass, 'logical_change_log'::regclass,"
    " 'logical_change_log_logged_at'::regclass, 'logical_change_trim'::regclass";

void PrintFailure(const char* operation, const std::string& message) {
  std::printf("%s %s\n", operation, message.c_str());
}

}  // namespace

PostgresGroupRepository::PostgresGroupRepository(const std::string& conninfo,
                                                 std::chrono::seconds log_retention,
                                                 std::chrono::seconds connect_wait,
                                                 std::chrono::milliseconds silence)
    : session_(std::make_shared<PostgresSession>(conninfo, kConnectSeconds, connect_wait, silence)),
      table_(std::make_shared<PostgresGroupTable>(session_)),
      log_(std::make_unique<PostgresChangeLog>(session_, table_, log_retention)) {
  // A role that may only read and write rows must not meet CREATE at every
  // start: when everything is there, nothing is created.
  std::string error;
  if (session_->Exec(kAllThere, error)) return;
  static constexpr char kCreateTables[] = "PostgresGroupRepository::CreateTables";
  PostgresTransaction transaction(*session_, kCreateTables);
  transaction.Write([&] {
    if (session_->Exec(kLockSchema, error)) return true;
    PrintFailure(kCreateTables, error);
    return false;
  });
  table_->CreateTable();
  if (!log_->CreateTables(error)) PrintFailure(kCreateTables, error);
  transaction.Commit();
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

bool PostgresGroupRepository::ReadAllItems(int32_t table_key, const StoredRowSink& take) {
  PostgresGroupTable* table = FindTable(table_key, "PostgresGroupRepository::GetAll");
  return table != nullptr && table->ReadAllItems(take);
}

int32_t PostgresGroupRepository::GetLastOrder(int32_t table_key, std::string type,
                                              std::string parent_id) {
  PostgresGroupTable* table = FindTable(table_key, "PostgresGroupRepository::GetLastOrder");
  if (table == nullptr) return -1;
  return table->GetLastOrder(std::move(type), std::move(parent_id));
}

std::shared_ptr<GroupOrderModel> PostgresGroupRepository::Get(int32_t table_key, std::string uuid) {
  PostgresGroupTable* table = FindTable(table_key, "PostgresGroupRepository::Get");
  return table ? table->Get(std::move(uuid)) : nullptr;
}

bool PostgresGroupRepository::Update(int32_t table_key, const GroupOrderItems& items) {
  PostgresGroupTable* table = FindTable(table_key, "PostgresGroupRepository::Update");
  if (table == nullptr) return false;
  return RunInTransaction("PostgresGroupRepository::Update", [&] {
    for (const GroupOrderModel& item : items) Write([&] { return table->Update(item); });
  });
}

bool PostgresGroupRepository::Save(int32_t table_key, const GroupOrderModel& item) {
  PostgresGroupTable* table = FindTable(table_key, "PostgresGroupRepository::Save");
  return table != nullptr && Write([&] { return table->Save(item); });
}

bool PostgresGroupRepository::Remove(int32_t table_key, std::string uuid) {
  PostgresGroupTable* table = FindTable(table_key, "PostgresGroupRepository::Remove");
  return table != nullptr && Write([&] { return table->Remove(uuid); });
}

bool PostgresGroupRepository::Clear() {
  Write([&] { return table_->Clear(); });
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

bool PostgresGroupRepository::TakeDataRefused() { return session_->TakeDataRefused(); }

const char* PostgresGroupRepository::Refusal(const std::string& text, TextUse use) const {
  if (use == TextUse::kWrittenId && text.size() > kLongestId) return "more than 2600 bytes";
  return session_->Refusal(text);
}

bool PostgresGroupRepository::RunInTransaction(const char* operation,
                                               const std::function<void()>& writes) {
  if (batch_ != nullptr) {
    writes();
    return !batch_->failed();
  }
  // The change lock comes first, in BEGIN's round trip: what the batch reads
  // from here on is what the servers before it committed.
  PostgresTransaction transaction(*session_, operation, PostgresChangeLog::kLockChanges);
  batch_ = &transaction;
  try {
    writes();
  } catch (...) {
    // The transaction rolls back as it goes, and what it logged with it.
    batch_ = nullptr;
    log_->EndBatch(false);
    throw;
  }
  batch_ = nullptr;
  const bool kept = transaction.Commit();
  log_->EndBatch(kept);
  return kept;
}

bool PostgresGroupRepository::Write(const std::function<bool()>& write) {
  return batch_ == nullptr ? write() : batch_->Write(write);
}

}  // namespace pga
