#include "store/logical_group_table.h"

#include <Poco/Data/SQLite/SQLiteException.h>
#include <Poco/Data/SQLite/Utility.h>
#include <Poco/Tuple.h>
#include <sqlite3.h>

#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

namespace pga {

using Poco::Data::Keywords::into;
using Poco::Data::Keywords::now;
using Poco::Data::Keywords::use;

namespace {

// One row, columns in declaration order: uuid, parent_uuid, name, type,
// order_, created_time. NULL columns read as the tuple's defaults.
using Row = Poco::Tuple<std::string, std::string, std::string, std::string, int32_t, uint64_t>;

GroupOrderModel ItemFromRow(const Row& row) {
  return GroupOrderModel(row.get<0>(), row.get<1>(), row.get<2>(), row.get<3>(), row.get<4>(),
                         row.get<5>());
}

// Why a statement failed: the connector's text for it, and SQLite's
// primary result code.
struct Failure {
  std::string text;
  int code = SQLITE_OK;

  // SQLITE_BUSY and SQLITE_LOCKED, whatever their extended code says: the
  // statement met a lock that another connection held, which is the only
  // failure that says nothing of the statement itself.
  bool lock() const { return code == SQLITE_BUSY || code == SQLITE_LOCKED; }
};

// The text the connector gives for the SQLite result `rc` just returned on
// `db`: for a statement that did not prepare it repeats SQLite's message
// after its own, for one that failed while running it does not. The
// connector picks its exception class (whose name starts the text) by the
// result code; throwing through it is the one way to word a failure exactly
// as a Poco Data statement would.
std::string ConnectorMessage(sqlite3* db, int rc, bool preparing) {
  try {
    if (preparing) {
      Poco::Data::SQLite::Utility::throwException(db, rc, sqlite3_errmsg(db));
    } else {
      Poco::Data::SQLite::Utility::throwException(db, rc);
    }
  } catch (const Poco::Data::SQLite::SQLiteException& error) {
    return error.displayText();
  }
  return sqlite3_errmsg(db);
}

int BindText(sqlite3_stmt* statement, int index, const std::string& text) {
  // The item outlives the run, so SQLite need not copy the bytes.
  return sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                           SQLITE_STATIC);
}

// A text column read as the connector reads it: NULL as the empty text, and
// only up to the first NUL byte.
// A text column up to its first NUL byte; NULL reads as the empty text.
std::string_view ColumnView(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text == nullptr ? std::string_view() : std::string_view(text);
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
  return std::string(ColumnView(statement, column));
}

int NoParameters(sqlite3_stmt*) { return SQLITE_OK; }
void NoRows(sqlite3_stmt*) {}

}  // namespace

// One statement, prepared on first use and kept while it keeps working.
// Against Poco Data statements made afresh for every call, CPU time of the
// request (least of five interleaved runs, Release build): 10,000 saves of
// BM_AddChannels/10000 take 66 ms against 135 ms, the 180 updates of
// BM_CreateGroup 0.9 ms against 1.9 ms, the 10 of BM_ModifyMapping/10
// 0.16 ms against 0.31 ms, the 1,000 removals of BM_RemoveChannels/1000
// 11 ms against 16 ms, and reading the 50,000 rows of BM_Start/50000 49 ms
// against 64 ms.
class LogicalGroupTable::KeptStatement {
 public:
  explicit KeptStatement(std::string sql) : sql_(std::move(sql)) {}
  KeptStatement(const KeptStatement&) = delete;
  KeptStatement& operator=(const KeptStatement&) = delete;
  ~KeptStatement() { sqlite3_finalize(statement_); }

  // Runs the statement to its end on `db`: `bind` binds its parameters
  // (answering SQLite's result), `read` takes each result row. On failure
  // returns false with the connector's text for it in `failure`; a statement
  // that ran is discarded, and the text is that of a failed prepare when it
  // would not even prepare afresh (its table is gone). The statement is
  // reset whatever happens, so it never holds a lock.
  template <typename Bind, typename Read>
  bool Run(sqlite3* db, const Bind& bind, const Read& read, Failure& failure) {
    if (statement_ == nullptr && !Prepare(db, failure)) return false;
    int rc = SQLITE_OK;
    {
      Resetter resetter{statement_};
      rc = bind(statement_);
      if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(statement_)) == SQLITE_ROW) read(statement_);
      }
      if (rc == SQLITE_DONE) return true;
      // Read before anything else changes the connection's last error.
      failure = {ConnectorMessage(db, rc, false), sqlite3_extended_errcode(db) & 0xff};
    }
    sqlite3_finalize(statement_);
    statement_ = nullptr;
    Prepare(db, failure);
    return false;
  }

 private:
  struct Resetter {
    sqlite3_stmt* statement;
    ~Resetter() { sqlite3_reset(statement); }
  };

  bool Prepare(sqlite3* db, Failure& failure) {
    const int rc = sqlite3_prepare_v2(db, sql_.c_str(), -1, &statement_, nullptr);
    if (rc == SQLITE_OK) return true;
    failure = {ConnectorMessage(db, rc, true), sqlite3_extended_errcode(db) & 0xff};
    sqlite3_finalize(statement_);
    statement_ = nullptr;
    return false;
  }

  const std::string sql_;
  sqlite3_stmt* statement_ = nullptr;
};

LogicalGroupTable::LogicalGroupTable(std::shared_ptr<Poco::Data::Session> session)
    : table_name_("logical_table"),
      session_(std::move(session)),
      get_all_(
          std::make_unique<KeptStatement>("SELECT * FROM " + table_name_ + " ORDER BY order_ ASC")),
      // Every row as the table keeps it, the cheapest read SQLite has; the
      // item cache sorts what is not in id order (see RowSorter). Through
      // the id index instead, every row is a lookup elsewhere in the table:
      // at 1,001,000 items 3.2 s against 0.36 s. Naming order_ makes a
      // table without that column fail as GetAll does, with the same line.
      read_all_(
          std::make_unique<KeptStatement>("SELECT *, order_ FROM " + table_name_ + " NOT INDEXED")),
      update_(std::make_unique<KeptStatement>("UPDATE " + table_name_ +
                                              " SET order_= ?, parent_uuid = ? WHERE uuid = ?")),
      save_(std::make_unique<KeptStatement>(
          "INSERT OR REPLACE INTO " + table_name_ +
          " (uuid, parent_uuid, name, type, order_, created_time) " + "VALUES(?,?,?,?,?,?)")),
      remove_(std::make_unique<KeptStatement>("DELETE FROM " + table_name_ + " WHERE uuid = ?")) {}

LogicalGroupTable::~LogicalGroupTable() = default;

sqlite3* LogicalGroupTable::Connection() {
  // The connector looks the handle up by name each time it is asked.
  if (connection_ == nullptr) connection_ = Poco::Data::SQLite::Utility::dbHandle(*session_);
  return connection_;
}

void LogicalGroupTable::Failed(const char* operation, const std::string& text, bool lock) {
  std::printf("%s %s\n", operation, text.c_str());
  last_failure_was_lock_ = lock;
}

void LogicalGroupTable::Failed(const char* operation, const Poco::Exception& error) {
  // The connector throws these two for SQLITE_BUSY and SQLITE_LOCKED.
  const bool lock =
      dynamic_cast<const Poco::Data::SQLite::DBLockedException*>(&error) != nullptr ||
      dynamic_cast<const Poco::Data::SQLite::TableLockedException*>(&error) != nullptr;
  // displayText() carries the connector's class and SQLite's own message;
  // what() would give only the class name.
  Failed(operation, error.displayText(), lock);
}

void LogicalGroupTable::CreateTable() {
  try {
    const std::string sql = "CREATE TABLE IF NOT EXISTS " + table_name_ + " (" +
                            "uuid TEXT PRIMARY KEY NOT NULL" + ",parent_uuid TEXT " +
                            ",name VARCHAR(32)" + ",type TEXT" + ",order_ INTEGER" +
                            ",created_time INTEGER" + ")";
    *session_ << sql, now;
  } catch (const Poco::Data::SQLite::SQLiteException& error) {
    Failed("LogicalGroupTable::CreateTable", error);
    return;
  }
  CreateIndexes();
}

void LogicalGroupTable::CreateIndexes() {
  try {
    *session_ << "CREATE INDEX IF NOT EXISTS " + table_name_ + "_parent_order ON " + table_name_ +
                     " (parent_uuid, order_)",
        now;
    *session_ << "CREATE INDEX IF NOT EXISTS " + table_name_ + "_group_order ON " + table_name_ +
                     " (parent_uuid, order_) WHERE type='Group' AND parent_uuid IS NOT NULL",
        now;
  } catch (const Poco::Data::SQLite::SQLiteException&) {
    // The indexes only speed lookups up: without them (a read-only store,
    // a full disk) every statement gives the same answers, so a failure is
    // neither reported nor passed on.
  }
}

GroupModelList LogicalGroupTable::GetGroups() {
  GroupModelList groups;
  try {
    std::vector<Row> rows;
    *session_ << "SELECT * FROM " + table_name_ + " WHERE type='Group'", into(rows), now;
    for (const Row& row : rows) {
      groups.push_back(std::make_shared<GroupModel>(row.get<0>(), row.get<2>(), row.get<5>()));
    }
  } catch (const Poco::Data::SQLite::SQLiteException&) {
    // Reading the groups fails silently: the caller gets what was read.
  }
  return groups;
}

template <typename Add>
bool LogicalGroupTable::ReadAll(KeptStatement& select, const Add& add) {
  std::size_t rows = 0;
  auto read = [&add, &rows](sqlite3_stmt* row) {
    ++rows;
    add(row);
  };
  Failure failure;
  sqlite3* db = Connection();
  if (select.Run(db, NoParameters, read, failure)) return true;
  if (failure.code == SQLITE_FULL && rows == 0) {
    // SQLite sorts a large read in temporary files, kept apart from the
    // store (in SQLITE_TMPDIR, else TMPDIR, else /var/tmp or /tmp). When
    // they have no room left, the store itself is sound: the read is sorted
    // again in memory, which takes about the store's size for the time of
    // the read, rather than a start with nothing read serving an empty
    // tree. A failure after some rows were handed over stays one.
    sqlite3_exec(db, "PRAGMA temp_store=MEMORY", nullptr, nullptr, nullptr);
    const bool again = select.Run(db, NoParameters, read, failure);
    sqlite3_exec(db, "PRAGMA temp_store=DEFAULT", nullptr, nullptr, nullptr);
    if (again) return true;
  }
  Failed("LogicalGroupTable::GetAll", failure.text, failure.lock());
  return false;
}

GroupOrderModelList LogicalGroupTable::GetAll() {
  GroupOrderModelList items;
  // The rows are handed over only once all of them were read.
  if (!ReadAll(*get_all_, [&items](sqlite3_stmt* row) {
        items.push_back(std::make_shared<GroupOrderModel>(
            ColumnText(row, 0), ColumnText(row, 1), ColumnText(row, 2), ColumnText(row, 3),
            sqlite3_column_int(row, 4), static_cast<uint64_t>(sqlite3_column_int64(row, 5))));
      })) {
    items.clear();
  }
  return items;
}

bool LogicalGroupTable::ReadAllItems(const StoredRowSink& take) {
  const bool read = ReadAll(*read_all_, [&take](sqlite3_stmt* row) {
    StoredRow stored;
    stored.itemId = ColumnView(row, 0);
    stored.parentId = ColumnView(row, 1);
    stored.name = ColumnView(row, 2);
    stored.type = ColumnView(row, 3);
    stored.order = sqlite3_column_int(row, 4);
    stored.createdTime = static_cast<uint64_t>(sqlite3_column_int64(row, 5));
    take(stored);
  });
  // Reading every row filled SQLite's page cache of the connection (2 MB by
  // default, 20 bytes per item at 100,000 items), which the requests that
  // follow, each a few rows, hardly use: it goes back to the heap, where
  // the cache's items can use it.
  sqlite3_db_release_memory(Connection());
  return read;
}

int32_t LogicalGroupTable::GetLastOrder(std::string type, std::string parent_id) {
  try {
    std::string sql = "SELECT MAX(order_) FROM " + table_name_ + " WHERE parent_uuid = ?";
    if (type == kGroupType) sql += " and type ='Group'";
    // MAX over no rows is NULL, which reads as 0.
    int32_t last = 0;
    *session_ << sql, use(parent_id), into(last), now;
    return last;
  } catch (const Poco::Data::SQLite::SQLiteException& error) {
    Failed("LogicalGroupTable::GetLastOrder", error);
    return -1;
  }
}

std::shared_ptr<GroupOrderModel> LogicalGroupTable::Get(std::string uuid) {
  try {
    Row row("", "", "", "", 0, 0);
    *session_ << "SELECT * FROM " + table_name_ + " WHERE uuid = ?", use(uuid), into(row), now;
    return std::make_shared<GroupOrderModel>(ItemFromRow(row));
  } catch (const Poco::Data::SQLite::SQLiteException& error) {
    Failed("LogicalGroupTable::Get", error);
    return nullptr;
  }
}

bool LogicalGroupTable::Update(const GroupOrderModel& item) {
  auto bind = [&item](sqlite3_stmt* update) {
    int rc = sqlite3_bind_int(update, 1, item.order);
    if (rc == SQLITE_OK) rc = BindText(update, 2, item.ParentText());
    if (rc == SQLITE_OK) rc = BindText(update, 3, item.itemId);
    return rc;
  };
  Failure failure;
  if (update_->Run(Connection(), bind, NoRows, failure)) return true;
  Failed("LogicalGroupTable::Update", failure.text, failure.lock());
  return false;
}

bool LogicalGroupTable::Save(const GroupOrderModel& item) {
  auto bind = [&item](sqlite3_stmt* insert) {
    int rc = BindText(insert, 1, item.itemId);
    if (rc == SQLITE_OK) rc = BindText(insert, 2, item.ParentText());
    if (rc == SQLITE_OK) rc = BindText(insert, 3, item.name);
    if (rc == SQLITE_OK) rc = BindText(insert, 4, item.type);
    if (rc == SQLITE_OK) rc = sqlite3_bind_int(insert, 5, item.order);
    // The column is read back as unsigned, so the bit pattern round-trips.
    if (rc == SQLITE_OK) rc = sqlite3_bind_int64(insert, 6, static_cast<int64_t>(item.createdTime));
    return rc;
  };
  Failure failure;
  if (save_->Run(Connection(), bind, NoRows, failure)) return true;
  Failed("LogicalGroupTable::Save", failure.text, failure.lock());
  return false;
}

bool LogicalGroupTable::Remove(std::string uuid) {
  Failure failure;
  if (remove_->Run(
          Connection(), [&](sqlite3_stmt* remove) { return BindText(remove, 1, uuid); }, NoRows,
          failure)) {
    return true;
  }
  Failed("LogicalGroupTable::Remove", failure.text, failure.lock());
  return false;
}

bool LogicalGroupTable::Clear() {
  try {
    *session_ << "DROP TABLE " + table_name_, now;
    return true;
  } catch (const Poco::Data::SQLite::SQLiteException& error) {
    Failed("LogicalGroupTable::Clear", error);
    return false;
  }
}

}  // namespace pga
