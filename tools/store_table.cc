#include "tools/store_table.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string_view>

#include "tools/sqlite_statement.h"

namespace pga {

namespace {

constexpr char kColumns[] = "uuid, parent_uuid, name, type, order_, created_time";
// Progress is reported every this many rows.
constexpr std::size_t kProgressStep = 4096;

void Report(const StoreTable::Progress& progress, std::size_t done) {
  if (progress && done % kProgressStep == 0) progress(done);
}

// Row i takes the row at order[i], one cycle of the permutation at a time.
void Permute(std::vector<StoreRow>& rows, const std::vector<std::size_t>& order) {
  std::vector<bool> placed(rows.size(), false);
  for (std::size_t start = 0; start < rows.size(); ++start) {
    if (placed[start]) continue;
    StoreRow first = std::move(rows[start]);
    std::size_t at = start;
    for (;;) {
      placed[at] = true;
      const std::size_t from = order[at];
      if (from == start) {
        rows[at] = std::move(first);
        break;
      }
      rows[at] = std::move(rows[from]);
      at = from;
    }
  }
}

}  // namespace

bool StoreTable::Verify(std::string& error) {
  SqliteStatement info(connection_, "PRAGMA table_info(logical_table)");
  std::set<std::string> columns;
  while (info.Next()) {
    const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1));
    if (name != nullptr) columns.insert(name);
  }
  if (info.failed()) {
    error = "cannot read it as a database: " + connection_.Message();
    return false;
  }
  if (columns.empty()) {
    error = "not a group store: it has no table logical_table";
    return false;
  }
  for (const char* column : {"uuid", "parent_uuid", "name", "type", "order_", "created_time"}) {
    if (columns.count(column) == 0) {
      error = std::string("not a group store: logical_table has no column ") + column;
      return false;
    }
  }
  return true;
}

std::size_t StoreTable::Count() {
  SqliteStatement count(connection_, "SELECT count(*) FROM logical_table");
  return count.Next() ? static_cast<std::size_t>(sqlite3_column_int64(count.get(), 0)) : 0;
}

bool StoreTable::Scan(const Row& each, std::string& error, const Progress& progress,
                      bool in_id_order) {
  // One statement is one read transaction: the rows are one consistent
  // state of the table even while a component writes.
  const std::string sql = std::string("SELECT ") + kColumns + " FROM logical_table" +
                          (in_id_order ? " ORDER BY uuid COLLATE BINARY" : "");
  SqliteStatement select(connection_, sql.c_str());
  std::size_t done = 0;
  while (select.Next()) {
    each(select.get());
    Report(progress, ++done);
  }
  if (select.failed()) {
    error = "cannot read logical_table: " + connection_.Message();
    return false;
  }
  return true;
}

bool StoreTable::Read(std::vector<StoreRow>& rows, std::string& error, const Progress& progress) {
  return Read(rows, nullptr, error, progress);
}

bool StoreTable::Read(std::vector<StoreRow>& rows, std::vector<std::size_t>* order,
                      std::string& error, const Progress& progress) {
  rows.clear();
  // Room for every row at once: a growing vector of a million rows would
  // move them all again and again. The count is only a hint.
  rows.reserve(Count());
  const auto keep = [&rows](sqlite3_stmt* s) {
    StoreRow& row = rows.emplace_back();
    row.item_id.ReadColumn(s, 0);
    row.parent_id.ReadColumn(s, 1);
    row.name.ReadColumn(s, 2);
    row.type.ReadColumn(s, 3);
    row.order.ReadColumn(s, 4);
    row.created_time.ReadColumn(s, 5);
  };
  // Read in the table's order and sorted here: SQLite's order by id is
  // the bytes of the ids as stored, which are the bytes read only in a
  // UTF-8 database, and it orders other storage classes and repeated ids
  // its own way; such a table is read through the index of its ids.
  std::string ignored;
  if (Utf8() && Scan(keep, ignored, progress, false)) {
    std::vector<std::size_t> by_id;
    if (OrderByUniqueTextId(rows, by_id)) {
      if (order != nullptr) {
        *order = std::move(by_id);
      } else {
        Permute(rows, by_id);
      }
      return true;
    }
  }
  rows.clear();
  if (!Scan(keep, error, progress)) return false;
  if (order != nullptr) {
    order->resize(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) (*order)[i] = i;
  }
  return true;
}

bool StoreTable::Utf8() {
  SqliteStatement encoding(connection_, "PRAGMA encoding");
  if (!encoding.Next()) return false;
  const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(encoding.get(), 0));
  return name != nullptr && std::string(name) == "UTF-8";
}

bool OrderByUniqueTextId(const std::vector<StoreRow>& rows, std::vector<std::size_t>& order) {
  for (const StoreRow& row : rows) {
    if (!row.item_id.is_text()) return false;
  }
  // Each id's first eight bytes as a number that orders as they do: most
  // comparisons end there, without reaching for the id's bytes.
  struct Key {
    uint64_t prefix;
    std::string_view id;
    std::size_t row;
  };
  std::vector<Key> keys(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string& id = rows[i].item_id.bytes;
    uint64_t prefix = 0;
    for (std::size_t b = 0; b < 8; ++b) {
      prefix = prefix << 8 | (b < id.size() ? static_cast<unsigned char>(id[b]) : 0u);
    }
    keys[i] = Key{prefix, id, i};
  }
  std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
    return a.prefix != b.prefix ? a.prefix < b.prefix : a.id < b.id;
  });
  order.resize(rows.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (i > 0 && keys[i - 1].id == keys[i].id) return false;
    order[i] = keys[i].row;
  }
  return true;
}

bool SortByUniqueTextId(std::vector<StoreRow>& rows) {
  std::vector<std::size_t> order;
  if (!OrderByUniqueTextId(rows, order)) return false;
  Permute(rows, order);
  return true;
}

bool StoreTable::Replace(const std::vector<StoreRow>& rows, std::string& error,
                         const Progress& progress) {
  if (!connection_.Exec("BEGIN IMMEDIATE", error)) return false;
  const std::string sql =
      std::string("INSERT INTO logical_table (") + kColumns + ") VALUES(?,?,?,?,?,?)";
  bool ok = connection_.Exec("DELETE FROM logical_table", error);
  if (ok) {
    SqliteStatement insert(connection_, sql.c_str());
    ok = insert.ok();
    for (std::size_t i = 0; ok && i < rows.size(); ++i) {
      const StoreRow& row = rows[i];
      int index = 1;
      for (const StoreValue* value :
           {&row.item_id, &row.parent_id, &row.name, &row.type, &row.order, &row.created_time}) {
        value->Bind(insert.get(), index++);
      }
      insert.Next();
      ok = !insert.failed();
      insert.Reset();
      Report(progress, i + 1);
    }
    if (!ok) error = connection_.Message();
  }
  if (ok && connection_.Exec("COMMIT", error)) return true;
  // A failed statement may have ended the transaction already.
  if (!sqlite3_get_autocommit(connection_.get())) {
    std::string ignored;
    connection_.Exec("ROLLBACK", ignored);
  }
  return false;
}

}  // namespace pga
