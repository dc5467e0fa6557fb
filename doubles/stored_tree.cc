#include "doubles/stored_tree.h"

#include <sqlite3.h>

#include <set>
#include <utility>

namespace pga {

namespace {

std::string ColumnText(sqlite3_stmt* row, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
  return text == nullptr
             ? std::string()
             : std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(row, column)));
}

std::string Describe(const std::string& id, const StoredTreeRow* row) {
  if (row == nullptr) return id + " absent";
  return id + " (parent '" + row->parent + "', name '" + row->name.substr(0, 40) + "', type '" +
         row->type + "', order " + std::to_string(row->order) + ")";
}

}  // namespace

bool StoredTreeRow::operator==(const StoredTreeRow& other) const {
  return parent == other.parent && name == other.name && type == other.type &&
         order == other.order && created == other.created;
}

std::optional<StoredTree> StoredTree::Read(const char* vfs, std::string* integrity,
                                           std::string& error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2("group.db", &db, SQLITE_OPEN_READWRITE, vfs) != SQLITE_OK) {
    error = std::string("cannot open group.db: ") + sqlite3_errmsg(db);
    sqlite3_close(db);
    return std::nullopt;
  }
  StoredTree tree;
  if (integrity != nullptr) {
    integrity->clear();
    auto collect = [](void* out, int, char** values, char**) {
      *static_cast<std::string*>(out) += values[0] != nullptr ? values[0] : "";
      return 0;
    };
    char* message = nullptr;
    if (sqlite3_exec(db, "PRAGMA integrity_check", collect, integrity, &message) != SQLITE_OK) {
      *integrity = std::string("integrity_check failed: ") + (message ? message : "");
      sqlite3_free(message);
    }
  }
  sqlite3_stmt* rows = nullptr;
  int rc = sqlite3_prepare_v2(db,
                              "SELECT uuid, parent_uuid, name, type, order_, created_time "
                              "FROM logical_table",
                              -1, &rows, nullptr);
  if (rc == SQLITE_OK) {
    tree.has_table = true;
    while ((rc = sqlite3_step(rows)) == SQLITE_ROW) {
      StoredTreeRow& row = tree.rows[ColumnText(rows, 0)];
      row.parent = ColumnText(rows, 1);
      row.name = ColumnText(rows, 2);
      row.type = ColumnText(rows, 3);
      row.order = sqlite3_column_int64(rows, 4);
      row.created = sqlite3_column_int64(rows, 5);
    }
  }
  const bool missing_table =
      rc == SQLITE_ERROR && std::string(sqlite3_errmsg(db)).rfind("no such table", 0) == 0;
  const bool failed = rc != SQLITE_DONE && !missing_table;
  if (failed) error = std::string("cannot read logical_table: ") + sqlite3_errmsg(db);
  sqlite3_finalize(rows);
  sqlite3_close(db);
  if (failed) return std::nullopt;
  return tree;
}

void StoredTree::Apply(const StoreWrite& write) {
  if (write.kind == StoreWrite::Kind::kClear) {
    has_table = false;
    rows.clear();
    return;
  }
  if (write.table_key != 0 || !has_table) return;
  switch (write.kind) {
    case StoreWrite::Kind::kSave:
      for (const GroupOrderModel& item : write.items) {
        rows[item.itemId] = StoredTreeRow{item.ParentText(), item.name, item.type, item.order,
                                          static_cast<int64_t>(item.createdTime)};
      }
      break;
    case StoreWrite::Kind::kUpdate:
      for (const GroupOrderModel& item : write.items) {
        auto row = rows.find(item.itemId);
        if (row == rows.end()) continue;
        row->second.order = item.order;
        row->second.parent = item.ParentText();
      }
      break;
    case StoreWrite::Kind::kRemove:
      rows.erase(write.id);
      break;
    case StoreWrite::Kind::kClear:
      break;
  }
}

std::vector<StoredTree> StoredTree::Outcomes(const std::vector<StoreUnit>& units) const {
  constexpr std::size_t kMostOutcomes = 27;
  std::vector<StoredTree> outcomes = {*this};
  for (const StoreUnit& unit : units) {
    std::vector<StoredTree> next;
    auto add = [&next](StoredTree tree) {
      for (const StoredTree& known : next) {
        if (known == tree) return;
      }
      next.push_back(std::move(tree));
    };
    for (const StoredTree& tree : outcomes) {
      StoredTree kept = tree;
      for (const StoreWrite& write : unit.writes) {
        if (write.ok) kept.Apply(write);
      }
      if (unit.ok) {
        add(std::move(kept));
        continue;
      }
      add(tree);
      add(std::move(kept));
      StoredTree whole = tree;
      for (const StoreWrite& write : unit.writes) whole.Apply(write);
      add(std::move(whole));
    }
    if (next.size() > kMostOutcomes) next.resize(kMostOutcomes);
    outcomes = std::move(next);
  }
  return outcomes;
}

std::string StoredTree::Difference(const StoredTree& other, int limit) const {
  if (has_table != other.has_table) {
    return has_table ? "the table is there, expected none" : "no table, expected one";
  }
  std::set<std::string> ids;
  for (const auto& [id, row] : rows) ids.insert(id);
  for (const auto& [id, row] : other.rows) ids.insert(id);
  std::string text;
  int shown = 0;
  for (const std::string& id : ids) {
    auto mine = rows.find(id);
    auto theirs = other.rows.find(id);
    const StoredTreeRow* a = mine == rows.end() ? nullptr : &mine->second;
    const StoredTreeRow* b = theirs == other.rows.end() ? nullptr : &theirs->second;
    if (a != nullptr && b != nullptr && *a == *b) continue;
    if (a == nullptr && b == nullptr) continue;
    if (shown++ == limit) return text + "; ...";
    if (!text.empty()) text += "; ";
    text += "stored " + Describe(id, a) + ", expected " + Describe(id, b);
  }
  return text;
}

}  // namespace pga
