#include "store/postgres_group_table.h"

#include <Poco/Data/Statement.h>
#include <Poco/Tuple.h>

#include <cstdio>
#include <utility>

using Poco::Data::Keywords::into;
using Poco::Data::Keywords::use;

namespace {

using Row = Poco::Tuple<std::string, std::string, std::string, std::string, int32_t, int64_t>;
using GroupRow = Poco::Tuple<std::string, std::string, int64_t>;

constexpr char kColumns[] = "uuid, parent_uuid, name, type, order_, created_time";
// Lock keys of the parents: this component's number, then the parent's hash.
constexpr char kLockParent[] = "SELECT 1 FROM pg_advisory_xact_lock(25067, hashtext($1))";

void PrintFailure(const char* operation, const Poco::Exception& error) {
  std::printf("%s %s\n", operation, OneLine(error.displayText()).c_str());
}

// `text` up to its first NUL byte, as the server keeps it.
std::string Stored(const std::string& text) { return text.substr(0, text.find('\0')); }

// `ids` as the text of a PostgreSQL array of texts: each element quoted, its
// quotes and backslashes escaped.
std::string ArrayLiteral(const std::vector<std::string>& ids) {
  std::string literal = "{";
  for (const std::string& id : ids) {
    if (literal.size() > 1) literal += ',';
    literal += '"';
    for (char c : Stored(id)) {
      if (c == '"' || c == '\\') literal += '\\';
      literal += c;
    }
    literal += '"';
  }
  return literal + "}";
}

}  // namespace

struct PostgresGroupTable::Rows {
  std::vector<Row> items;
  std::vector<GroupRow> groups;
  int32_t last_order = 0;
  int32_t locked = 0;
};

PostgresGroupTable::PostgresGroupTable(std::shared_ptr<PostgresSession> session)
    : session_(std::move(session)),
      rows_(std::make_unique<Rows>()),
      get_groups_(*session_,
                  "SELECT uuid, name, created_time FROM logical_table WHERE type='Group'",
                  [this](Poco::Data::Statement& s) { s.addExtract(into(rows_->groups)); }),
      get_all_(*session_,
               std::string("SELECT ") + kColumns + " FROM logical_table ORDER BY order_ ASC",
               [this](Poco::Data::Statement& s) { s.addExtract(into(rows_->items)); }),
      last_order_(*session_, "SELECT MAX(order_) FROM logical_table WHERE parent_uuid = $1",
                  [this](Poco::Data::Statement& s) {
                    s.addBind(use(parent_));
                    s.addExtract(into(rows_->last_order));
                  }),
      last_group_order_(
          *session_,
          "SELECT MAX(order_) FROM logical_table WHERE parent_uuid = $1 and type ='Group'",
          [this](Poco::Data::Statement& s) {
            s.addBind(use(parent_));
            s.addExtract(into(rows_->last_order));
          }),
      lock_parent_(*session_, kLockParent,
                   [this](Poco::Data::Statement& s) {
                     s.addBind(use(parent_));
                     s.addExtract(into(rows_->locked));
                   }),
      get_(*session_, std::string("SELECT ") + kColumns + " FROM logical_table WHERE uuid = $1",
           [this](Poco::Data::Statement& s) {
             s.addBind(use(id_));
             s.addExtract(into(rows_->items));
           }),
      get_listed_(*session_,
                  std::string("SELECT ") + kColumns +
                      " FROM logical_table WHERE uuid = ANY($1::text[])",
                  [this](Poco::Data::Statement& s) {
                    s.addBind(use(id_list_));
                    s.addExtract(into(rows_->items));
                  }),
      update_(*session_, "UPDATE logical_table SET order_ = $1, parent_uuid = $2 WHERE uuid = $3",
              [this](Poco::Data::Statement& s) {
                s.addBind(use(order_));
                s.addBind(use(parent_));
                s.addBind(use(id_));
              }),
      save_(*session_,
            std::string("INSERT INTO logical_table (") + kColumns +
                ") VALUES ($1,$2,$3,$4,$5,$6) ON CONFLICT (uuid) DO UPDATE SET"
                " parent_uuid = EXCLUDED.parent_uuid, name = EXCLUDED.name,"
                " type = EXCLUDED.type, order_ = EXCLUDED.order_,"
                " created_time = EXCLUDED.created_time",
            [this](Poco::Data::Statement& s) {
              s.addBind(use(id_));
              s.addBind(use(parent_));
              s.addBind(use(name_));
              s.addBind(use(type_));
              s.addBind(use(order_));
              s.addBind(use(created_));
            }),
      remove_(*session_, "DELETE FROM logical_table WHERE uuid = $1",
              [this](Poco::Data::Statement& s) { s.addBind(use(id_)); }) {}

PostgresGroupTable::~PostgresGroupTable() = default;

void PostgresGroupTable::CreateTable() {
  // The partial index's condition keeps the scan of GetGroups off it.
  static const char kCreate[] =
      "CREATE TABLE IF NOT EXISTS logical_table (uuid TEXT PRIMARY KEY NOT NULL,"
      "parent_uuid TEXT ,name TEXT,type TEXT,order_ INTEGER,created_time BIGINT);"
      "CREATE INDEX IF NOT EXISTS logical_table_parent_order"
      " ON logical_table (parent_uuid, order_);"
      "CREATE INDEX IF NOT EXISTS logical_table_group_order"
      " ON logical_table (parent_uuid, order_) WHERE type='Group' AND parent_uuid IS NOT NULL";
  std::string error;
  if (!session_->Connected() || !session_->Exec(kCreate, error)) {
    if (error.empty()) error = "not connected";
    std::printf("%s %s\n", "PostgresGroupTable::CreateTable", error.c_str());
  }
}

GroupModelList PostgresGroupTable::GetGroups() {
  GroupModelList groups;
  rows_->groups.clear();
  try {
    get_groups_.Run();
  } catch (const Poco::Exception&) {
    // Reading the groups fails silently: the caller gets what was read.
  }
  for (const GroupRow& row : rows_->groups) {
    groups.push_back(std::make_shared<GroupModel>(row.get<0>(), row.get<1>(),
                                                  static_cast<uint64_t>(row.get<2>())));
  }
  rows_->groups.clear();
  return groups;
}

GroupOrderItems PostgresGroupTable::TakeRows() {
  GroupOrderItems items;
  items.reserve(rows_->items.size());
  for (Row& row : rows_->items) {
    items.emplace_back(std::move(row.get<0>()), std::move(row.get<1>()), std::move(row.get<2>()),
                       std::move(row.get<3>()), row.get<4>(), static_cast<uint64_t>(row.get<5>()));
  }
  rows_->items.clear();
  return items;
}

std::optional<GroupOrderItems> PostgresGroupTable::ReadAll() {
  rows_->items.clear();
  try {
    get_all_.Run();
  } catch (const Poco::Exception& error) {
    rows_->items.clear();
    PrintFailure("PostgresGroupTable::GetAll", error);
    return std::nullopt;
  }
  return TakeRows();
}

GroupOrderItems PostgresGroupTable::GetAllItems() { return ReadAll().value_or(GroupOrderItems()); }

GroupOrderModelList PostgresGroupTable::GetAll() {
  GroupOrderModelList list;
  for (GroupOrderModel& item : GetAllItems()) {
    list.push_back(std::make_shared<GroupOrderModel>(std::move(item)));
  }
  return list;
}

std::optional<GroupOrderItems> PostgresGroupTable::ReadItems(const std::vector<std::string>& ids) {
  if (ids.empty()) return GroupOrderItems();
  id_list_ = ArrayLiteral(ids);
  rows_->items.clear();
  try {
    get_listed_.Run();
  } catch (const Poco::Exception& error) {
    rows_->items.clear();
    PrintFailure("PostgresGroupTable::ReadItems", error);
    return std::nullopt;
  }
  return TakeRows();
}

int32_t PostgresGroupTable::GetLastOrder(std::string type, std::string parent_id) {
  parent_ = Stored(parent_id);
  // MAX over no rows is NULL, which reads as 0.
  rows_->last_order = 0;
  try {
    (type == kGroupType ? last_group_order_ : last_order_).Run();
    return rows_->last_order;
  } catch (const Poco::Exception& error) {
    PrintFailure("PostgresGroupTable::GetLastOrder", error);
    return -1;
  }
}

bool PostgresGroupTable::LockParent(const std::string& parent_id) {
  parent_ = Stored(parent_id);
  try {
    lock_parent_.Run();
    return true;
  } catch (const Poco::Exception& error) {
    PrintFailure("PostgresGroupTable::LockParent", error);
    return false;
  }
}

std::shared_ptr<GroupOrderModel> PostgresGroupTable::Get(std::string uuid) {
  id_ = Stored(uuid);
  rows_->items.clear();
  try {
    get_.Run();
  } catch (const Poco::Exception& error) {
    rows_->items.clear();
    PrintFailure("PostgresGroupTable::Get", error);
    return nullptr;
  }
  GroupOrderItems items = TakeRows();
  // No row: the record of an empty row, as the SQLite table gives.
  return std::make_shared<GroupOrderModel>(
      items.empty() ? GroupOrderModel("", "", "", "", 0, 0) : std::move(items.front()));
}

bool PostgresGroupTable::Update(const GroupOrderModel& item) {
  order_ = item.order;
  parent_ = Stored(item.ParentText());
  id_ = Stored(item.itemId);
  try {
    update_.Run();
    return true;
  } catch (const Poco::Exception& error) {
    PrintFailure("PostgresGroupTable::Update", error);
    return false;
  }
}

bool PostgresGroupTable::Save(const GroupOrderModel& item) {
  id_ = Stored(item.itemId);
  parent_ = Stored(item.ParentText());
  name_ = Stored(item.name);
  type_ = Stored(item.type);
  order_ = item.order;
  // Read back as unsigned, so the bit pattern round-trips.
  created_ = static_cast<int64_t>(item.createdTime);
  try {
    save_.Run();
    return true;
  } catch (const Poco::Exception& error) {
    PrintFailure("PostgresGroupTable::Save", error);
    return false;
  }
}

bool PostgresGroupTable::Remove(std::string uuid) {
  id_ = Stored(uuid);
  try {
    remove_.Run();
    return true;
  } catch (const Poco::Exception& error) {
    PrintFailure("PostgresGroupTable::Remove", error);
    return false;
  }
}

bool PostgresGroupTable::Clear() {
  std::string error;
  if (session_->Connected() && session_->Exec("DROP TABLE logical_table", error)) return true;
  if (error.empty()) error = "not connected";
  std::printf("%s %s\n", "PostgresGroupTable::Clear", error.c_str());
  return false;
}
