#include "group/sqlite_group_repository.h"

#include <Poco/Data/SQLite/Connector.h>
#include <Poco/Data/SQLite/SQLiteException.h>
#include <Poco/Data/Session.h>

#include <cstdio>
#include <utility>

#include "group/logical_group_table.h"

namespace {

constexpr char kConnector[] = "SQLite";
constexpr char kDatabaseFile[] = "group.db";
constexpr std::size_t kTimeoutSeconds = 60;
constexpr int32_t kLogicalTableKey = 0;

void UnregisterConnector() {
  try {
    Poco::Data::SQLite::Connector::unregisterConnector();
  } catch (const Poco::Exception& error) {
    // Only possible when someone else unregistered our registration; a
    // destructor must not throw, so the line is all that is left to do.
    std::printf("%s %s\n", "SqliteGroupRepository::UnregisterConnector",
                error.displayText().c_str());
  }
}

}  // namespace

SqliteGroupRepository::SqliteGroupRepository()
    : SqliteGroupRepository(kDatabaseFile, kTimeoutSeconds) {}

SqliteGroupRepository::SqliteGroupRepository(const std::string& connection_string,
                                             std::size_t timeout_seconds) {
  Poco::Data::SQLite::Connector::registerConnector();
  try {
    session_ =
        std::make_shared<Poco::Data::Session>(kConnector, connection_string, timeout_seconds);
    auto table = std::make_shared<LogicalGroupTable>(session_);
    table->CreateTable();
    tables_.emplace(kLogicalTableKey, std::move(table));
  } catch (...) {
    // The destructor will not run: give the registration back here.
    tables_.clear();
    session_.reset();
    UnregisterConnector();
    throw;
  }
}

SqliteGroupRepository::~SqliteGroupRepository() {
  UnregisterConnector();
  tables_.clear();
  session_.reset();
}

IGroupTable* SqliteGroupRepository::FindTable(int32_t table_key, const char* operation) const {
  auto it = tables_.find(table_key);
  if (it != tables_.end()) return it->second.get();
  std::printf("%s no table under key %d\n", operation, static_cast<int>(table_key));
  return nullptr;
}

GroupModelList SqliteGroupRepository::GetGroups(int32_t table_key) {
  IGroupTable* table = FindTable(table_key, "SqliteGroupRepository::GetGroups");
  return table ? table->GetGroups() : GroupModelList();
}

GroupOrderModelList SqliteGroupRepository::GetAll(int32_t table_key) {
  IGroupTable* table = FindTable(table_key, "SqliteGroupRepository::GetAll");
  return table ? table->GetAll() : GroupOrderModelList();
}

int32_t SqliteGroupRepository::GetLastOrder(int32_t table_key, std::string type,
                                            std::string parent_id) {
  IGroupTable* table = FindTable(table_key, "SqliteGroupRepository::GetLastOrder");
  return table ? table->GetLastOrder(std::move(type), std::move(parent_id)) : -1;
}

std::shared_ptr<GroupOrderModel> SqliteGroupRepository::Get(int32_t table_key, std::string uuid) {
  IGroupTable* table = FindTable(table_key, "SqliteGroupRepository::Get");
  return table ? table->Get(std::move(uuid)) : nullptr;
}

bool SqliteGroupRepository::Update(int32_t table_key, const GroupOrderItems& items) {
  IGroupTable* table = FindTable(table_key, "SqliteGroupRepository::Update");
  if (table == nullptr) return false;
  bool begun = false;
  try {
    session_->begin();
    begun = true;
    // An item that fails has printed its own line; the batch goes on.
    for (const GroupOrderModel& item : items) table->Update(item);
    session_->commit();
    return true;
  } catch (const Poco::Data::SQLite::SQLiteException& error) {
    std::printf("%s %s\n", "SqliteGroupRepository::Update", error.displayText().c_str());
    if (begun) RollBack();
    return false;
  } catch (...) {
    if (begun) RollBack();
    throw;
  }
}

void SqliteGroupRepository::RollBack() {
  try {
    session_->rollback();
  } catch (const Poco::Data::SQLite::SQLiteException& error) {
    std::printf("%s %s\n", "SqliteGroupRepository::Update", error.displayText().c_str());
  }
}

bool SqliteGroupRepository::Save(int32_t table_key, const GroupOrderModel& item) {
  IGroupTable* table = FindTable(table_key, "SqliteGroupRepository::Save");
  return table ? table->Save(item) : false;
}

bool SqliteGroupRepository::Remove(int32_t table_key, std::string uuid) {
  IGroupTable* table = FindTable(table_key, "SqliteGroupRepository::Remove");
  return table ? table->Remove(std::move(uuid)) : false;
}

bool SqliteGroupRepository::Clear() {
  for (auto& [key, table] : tables_) table->Clear();
  return true;
}

bool SqliteGroupRepository::SaveAll(const GroupOrderItems& items) {
  for (auto& [key, table] : tables_) {
    for (const GroupOrderModel& item : items) table->Save(item);
  }
  return true;
}
