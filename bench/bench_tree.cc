#include "bench/bench_tree.h"

#include <sqlite3.h>
#include <stdlib.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>

#include "store/sqlite_group_repository.h"

namespace pga {

namespace {

constexpr int64_t kFirstCreatedTime = 1700000000000;

void Check(sqlite3* db, int rc, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
  }
}

std::filesystem::path& BenchDirectory() {
  static std::filesystem::path directory;
  return directory;
}

void RemoveBenchDirectory() {
  std::error_code ignored;
  std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
  std::filesystem::remove_all(BenchDirectory(), ignored);
}

void EnterBenchDirectory() {
  if (!BenchDirectory().empty()) return;
  if (const char* kept = std::getenv("PGA_BENCH_KEEP")) {
    // A directory of the caller's: the stores built there stay for the
    // next run, which then skips building them.
    BenchDirectory() = kept;
    std::filesystem::create_directories(kept);
    std::filesystem::current_path(kept);
    return;
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "group_bench_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  BenchDirectory() = pattern;
  std::filesystem::current_path(pattern);
  std::atexit(RemoveBenchDirectory);
}

}  // namespace

const BenchTree& SharedTree(std::size_t size) {
  EnterBenchDirectory();
  static std::map<std::size_t, std::unique_ptr<BenchTree>> trees;
  std::unique_ptr<BenchTree>& tree = trees[size];
  if (tree == nullptr) tree = std::make_unique<BenchTree>(size);
  return *tree;
}

std::string BenchTree::Uuid(unsigned kind, uint64_t number) {
  char text[40];
  std::snprintf(text, sizeof(text), "%08" PRIx64 "-%04x-4000-8000-%012" PRIx64,
                (number * 2654435761u) & 0xffffffffu, kind & 0xffffu, number);
  return text;
}

std::string BenchTree::AddRow(unsigned kind, const std::string& parent, const char* type,
                              int32_t order) {
  TreeRow row;
  row.id = Uuid(kind, rows_.size());
  row.parent = parent;
  row.name = std::string(type) + " " + std::to_string(rows_.size());
  row.type = type;
  row.order = order;
  row.created_time = kFirstCreatedTime + static_cast<int64_t>(rows_.size());
  rows_.push_back(row);
  return row.id;
}

BenchTree::BenchTree(std::size_t size) : size_(size) {
  if (size < kFixedItems) throw std::invalid_argument("tree too small");
  rows_.reserve(size);
  int32_t top_order = 0;

  deep_group_ = AddRow(1, "", "Group", ++top_order);
  for (int32_t a = 1; a <= 10; ++a) {
    const std::string level1 = AddRow(1, deep_group_, "Group", a);
    for (int32_t b = 1; b <= 10; ++b) {
      const std::string level2 = AddRow(1, level1, "Group", b);
      for (int32_t c = 1; c <= 20; ++c) AddRow(2, level2, "Channel", c);
    }
  }

  crowded_parent_ = AddRow(3, "", "Group", ++top_order);
  for (int32_t i = 1; i <= 20; ++i) AddRow(3, crowded_parent_, "Group", i);
  for (int32_t i = 21; i <= 200; ++i) {
    crowded_channels_.push_back(AddRow(3, crowded_parent_, "Channel", i));
  }

  for (int region_index = 0; region_index < 10; ++region_index) {
    const std::string region = AddRow(4, "", "Group", ++top_order);
    for (int32_t g = 1; g <= 10; ++g) {
      const bool emptied = region_index < 5;
      const std::string group = AddRow(4, region, "Group", g);
      for (int32_t c = 1; c <= (emptied ? 10 : 20); ++c) {
        const std::string channel = AddRow(4, group, "Channel", c);
        if (emptied || c <= 10) removable_channels_.push_back(channel);
      }
    }
  }

  while (rows_.size() < size) {
    const std::string channel = AddRow(5, "", "Channel", ++top_order);
    if (movable_channels_.size() < 10) movable_channels_.push_back(channel);
  }
}

void BenchTree::Install() const {
  const std::string template_path = "tree-" + std::to_string(size_) + ".db";
  if (!std::filesystem::exists(template_path)) BuildTemplate(template_path);
  // A journal or log left beside an older copy would be applied to the new
  // one when it is opened.
  for (const char* sidecar : {"group.db-journal", "group.db-wal", "group.db-shm"}) {
    std::filesystem::remove(sidecar);
  }
  std::filesystem::copy_file(template_path, "group.db",
                             std::filesystem::copy_options::overwrite_existing);
}

void BenchTree::BuildTemplate(const std::string& path) const {
  const std::string building = path + ".tmp";
  std::filesystem::remove(building);
  // The store makes its table (and anything it keeps beside it) itself.
  { SqliteGroupRepository store(building, 60); }

  sqlite3* db = nullptr;
  Check(db, sqlite3_open(building.c_str(), &db), "open");
  sqlite3_stmt* insert = nullptr;
  try {
    Check(db, sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), "begin");
    Check(db,
          sqlite3_prepare_v2(db,
                             "INSERT INTO logical_table (uuid, parent_uuid, name, type, order_, "
                             "created_time) VALUES(?,?,?,?,?,?)",
                             -1, &insert, nullptr),
          "prepare");
    for (const TreeRow& row : rows_) {
      BindTreeRow(insert, row);
      Check(db, sqlite3_step(insert), "insert");
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    insert = nullptr;
    Check(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), "commit");
  } catch (...) {
    sqlite3_finalize(insert);
    sqlite3_close(db);
    throw;
  }
  sqlite3_close(db);
  std::filesystem::rename(building, path);
}

void BindTreeRow(sqlite3_stmt* insert, const TreeRow& row) {
  sqlite3_bind_text(insert, 1, row.id.data(), static_cast<int>(row.id.size()), SQLITE_STATIC);
  sqlite3_bind_text(insert, 2, row.parent.data(), static_cast<int>(row.parent.size()),
                    SQLITE_STATIC);
  sqlite3_bind_text(insert, 3, row.name.data(), static_cast<int>(row.name.size()), SQLITE_STATIC);
  sqlite3_bind_text(insert, 4, row.type.data(), static_cast<int>(row.type.size()), SQLITE_STATIC);
  sqlite3_bind_int(insert, 5, row.order);
  sqlite3_bind_int64(insert, 6, row.created_time);
}

std::vector<TreeRow> ReadTreeRows(sqlite3_stmt* select) {
  const auto text = [select](int column) {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(select, column));
    return bytes == nullptr ? std::string()
                            : std::string(bytes, sqlite3_column_bytes(select, column));
  };
  std::vector<TreeRow> rows;
  while (sqlite3_step(select) == SQLITE_ROW) {
    TreeRow& row = rows.emplace_back();
    row.id = text(0);
    row.parent = text(1);
    row.name = text(2);
    row.type = text(3);
    row.order = sqlite3_column_int(select, 4);
    row.created_time = sqlite3_column_int64(select, 5);
  }
  return rows;
}

}  // namespace pga
