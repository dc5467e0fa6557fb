#include "tools/store_salvage.h"

#include <sqlite3.h>

#include <cstdint>
#include <limits>

#include "tools/sqlite_statement.h"
#include "tools/store_check.h"

namespace pga {

namespace {

// Progress is reported every this many rows.
constexpr std::size_t kProgressStep = 4096;

}  // namespace

bool SalvageRows(SqliteConnection& source, std::vector<StoreRow>& rows, std::size_t& damaged,
                 std::string& error, const std::function<void(std::size_t)>& progress) {
  rows.clear();
  damaged = 0;
  SqliteStatement read(source,
                       "SELECT rowid, uuid, parent_uuid, name, type, order_, created_time "
                       "FROM logical_table WHERE rowid >= ? ORDER BY rowid");
  if (!read.ok()) {
    error = "cannot read logical_table: " + source.Message();
    return false;
  }
  constexpr int64_t kLast = std::numeric_limits<int64_t>::max();
  // Each read starts at a row id and runs until the end or the damage. A
  // read that fails where the one before did jumps twice as far: one
  // damaged page costs a few reads, not one per row id it covers.
  int64_t next = std::numeric_limits<int64_t>::min();
  int64_t jump = 1;
  bool moved = true;  // the last read gave rows
  for (;;) {
    sqlite3_bind_int64(read.get(), 1, next);
    bool at_end = false;
    while (read.Next()) {
      sqlite3_stmt* s = read.get();
      const int64_t rowid = sqlite3_column_int64(s, 0);
      rows.push_back(StoreRow{StoreValue::FromColumn(s, 1), StoreValue::FromColumn(s, 2),
                              StoreValue::FromColumn(s, 3), StoreValue::FromColumn(s, 4),
                              StoreValue::FromColumn(s, 5), StoreValue::FromColumn(s, 6)});
      if (progress && rows.size() % kProgressStep == 0) progress(rows.size());
      at_end = rowid == kLast;
      next = at_end ? kLast : rowid + 1;
      moved = true;
      jump = 1;
    }
    if (!read.failed() || at_end) break;
    read.Reset();
    if (moved) ++damaged;
    if (next == std::numeric_limits<int64_t>::min()) {
      // Nothing read yet: the component's rows have ids from 1 up.
      next = 0;
    } else if (next > kLast - jump) {
      break;
    } else {
      next += jump;
      jump = jump > kLast / 2 ? kLast : jump * 2;
    }
    moved = false;
  }
  if (rows.empty() && damaged > 0) {
    error = "no row of logical_table can be read: " + source.Message();
    return false;
  }
  return true;
}

bool WriteNewStore(const std::string& path, const std::vector<StoreRow>& rows,
                   std::string& error, const std::function<void(std::size_t)>& progress) {
  SqliteConnection store;
  if (!store.Open(path, SqliteConnection::Mode::kReadWrite, error)) return false;
  const std::string schema = std::string("BEGIN; ") + kStoreTableSql + "; " + kStoreIndexSql[0] +
                             "; " + kStoreIndexSql[1] + ";";
  if (!store.Exec(schema.c_str(), error)) return false;
  SqliteStatement insert(store,
                         "INSERT OR IGNORE INTO logical_table (uuid, parent_uuid, name, type, "
                         "order_, created_time) VALUES(?,?,?,?,?,?)");
  std::size_t written = 0;
  for (const StoreRow& row : rows) {
    if (progress && ++written % kProgressStep == 0) progress(written);
    int index = 1;
    for (const StoreValue* value :
         {&row.item_id, &row.parent_id, &row.name, &row.type, &row.order, &row.created_time}) {
      value->Bind(insert.get(), index++);
    }
    insert.Next();
    if (insert.failed()) {
      error = "cannot write " + path + ": " + store.Message();
      return false;
    }
    insert.Reset();
  }
  return store.Exec("COMMIT", error);
}

}  // namespace pga
