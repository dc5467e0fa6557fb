// Baselines: what SQLite itself does with the same rows on the same stored
// tree, through its C API, each statement prepared once and reused.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_tree.h"
#include "bench/stopwatch.h"
#include "store/sqlite_journal.h"

namespace pga {

namespace {

constexpr std::size_t kStoredItems = 50000;
// The size the store verbs' benchmarks run at (store_tools_bench.cc), for
// their baselines here.
const int kToolItems = [] {
  const char* items = std::getenv("PGA_BENCH_TOOLS_ITEMS");
  return items != nullptr && std::atoi(items) > 0 ? std::atoi(items) : 100000;
}();

// Throws SQLite's message for `rc` on `db` unless it is a success.
void Check(sqlite3* db, int rc) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
}

// Which journal a RawStore writes with. The baselines use SQLite's default
// one; the write-ahead log is the one the store itself uses while open, for
// the context rows that compare like with like.
enum class Journal { kDefault, kWriteAhead };

// "group.db" of the current directory on a connection of its own.
class RawStore {
 public:
  explicit RawStore(Journal journal = Journal::kDefault) {
    if (sqlite3_open("group.db", &db_) != SQLITE_OK) throw std::runtime_error("open failed");
    // The baselines mean SQLite's defaults: a file left in another mode
    // would make every ratio against them meaningless.
    const std::string wanted = journal == Journal::kDefault ? "delete" : "wal";
    const std::string mode = JournalMode(db_, journal == Journal::kDefault ? nullptr : "wal");
    if (mode != wanted) {
      sqlite3_close(db_);
      throw std::runtime_error("journal mode is " + mode + ", not " + wanted);
    }
  }
  RawStore(const RawStore&) = delete;
  RawStore& operator=(const RawStore&) = delete;
  // Its statements must be gone first. The file is left in the default
  // journal mode, its log copied in, for whatever opens it next.
  ~RawStore() {
    JournalMode(db_, "delete");
    sqlite3_close(db_);
  }

  void Exec(const char* sql) { Check(db_, sqlite3_exec(db_, sql, nullptr, nullptr, nullptr)); }
  sqlite3* db() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

// One statement of a RawStore, prepared once, bound and run again and again.
class RawStatement {
 public:
  RawStatement(const RawStore& store, const char* sql) : db_(store.db()) {
    Check(db_, sqlite3_prepare_v2(db_, sql, -1, &statement_, nullptr));
  }
  RawStatement(const RawStatement&) = delete;
  RawStatement& operator=(const RawStatement&) = delete;
  ~RawStatement() { sqlite3_finalize(statement_); }

  void BindText(int index, const std::string& text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  }
  void BindInt(int index, int32_t value) { sqlite3_bind_int(statement_, index, value); }
  void BindRow(const TreeRow& row) {
    BindText(1, row.id);
    BindText(2, row.parent);
    BindText(3, row.name);
    BindText(4, row.type);
    sqlite3_bind_int(statement_, 5, row.order);
    sqlite3_bind_int64(statement_, 6, row.created_time);
  }
  // Runs the statement to its end and resets it.
  void Run() {
    const int rc = sqlite3_step(statement_);
    sqlite3_reset(statement_);
    Check(db_, rc);
  }
  // Reads every row of the statement, as the store's rows.
  std::vector<TreeRow> ReadRows() {
    std::vector<TreeRow> rows = ReadTreeRows(statement_);
    sqlite3_reset(statement_);
    return rows;
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

constexpr char kInsert[] =
    "INSERT OR REPLACE INTO logical_table (uuid, parent_uuid, name, type, order_, created_time) "
    "VALUES(?,?,?,?,?,?)";

std::vector<TreeRow> NewChannelRows(std::size_t count, uint64_t batch) {
  std::vector<TreeRow> rows(count);
  for (std::size_t i = 0; i < count; ++i) {
    rows[i].id = BenchTree::Uuid(6, batch * count + i);
    rows[i].name = "New camera " + std::to_string(i);
    rows[i].type = "Channel";
    rows[i].order = static_cast<int32_t>(kStoredItems + i);
    rows[i].created_time = 1800000000000 + static_cast<int64_t>(i);
  }
  return rows;
}

void BM_RawInsertTxn(benchmark::State& state) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(kStoredItems);
  uint64_t batch = 0;
  for (auto _ : state) {
    tree.Install();
    const std::vector<TreeRow> rows = NewChannelRows(state.range(0), batch++);
    RawStore store;
    watch.Start();
    store.Exec("BEGIN");
    RawStatement insert(store, kInsert);
    for (const TreeRow& row : rows) {
      insert.BindRow(row);
      insert.Run();
    }
    store.Exec("COMMIT");
    watch.Stop();
  }
}
BENCHMARK(BM_RawInsertTxn)
    ->Arg(10000)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_RawDeleteTxn(benchmark::State& state) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(kStoredItems);
  for (auto _ : state) {
    tree.Install();
    RawStore store;
    watch.Start();
    store.Exec("BEGIN");
    RawStatement remove(store, "DELETE FROM logical_table WHERE uuid = ?");
    for (int64_t i = 0; i < state.range(0); ++i) {
      remove.BindText(1, tree.removable_channels().at(i));
      remove.Run();
    }
    store.Exec("COMMIT");
    watch.Stop();
  }
}
BENCHMARK(BM_RawDeleteTxn)
    ->Arg(1000)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// One row per iteration, each its own durable transaction.
void RawDurableInsert(benchmark::State& state, Journal journal) {
  Stopwatch watch(state);
  SharedTree(kStoredItems).Install();
  RawStore store(journal);
  RawStatement insert(store, kInsert);
  uint64_t serial = 0;
  for (auto _ : state) {
    TreeRow row = NewChannelRows(1, serial++).front();
    watch.Start();
    insert.BindRow(row);
    insert.Run();
    watch.Stop();
  }
}
void BM_RawDurableInsert(benchmark::State& state) { RawDurableInsert(state, Journal::kDefault); }
BENCHMARK(BM_RawDurableInsert)->MinTime(1.0)->UseManualTime()->Unit(benchmark::kMicrosecond);
void BM_RawDurableInsertWal(benchmark::State& state) {
  RawDurableInsert(state, Journal::kWriteAhead);
}
BENCHMARK(BM_RawDurableInsertWal)->MinTime(1.0)->UseManualTime()->Unit(benchmark::kMicrosecond);

// What the store does for a group created under the crowded parent: in one
// transaction, the 180 channels after the new group move back one place and
// the group is inserted. Not a target of its own: it shows how much of
// BM_CreateGroup is SQLite's, beside BM_RawDurableInsert's one row; the
// write-ahead variant is the same work with the journal the store uses. The
// group is deleted again, untimed, and the channels move the other way in
// the next run, so every run meets the same tree.
void RawShiftTxn(benchmark::State& state, Journal journal) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(kStoredItems);
  tree.Install();
  RawStore store(journal);
  RawStatement update(store, "UPDATE logical_table SET order_= ?, parent_uuid = ? WHERE uuid = ?");
  RawStatement insert(store, kInsert);
  RawStatement remove(store, "DELETE FROM logical_table WHERE uuid = ?");
  TreeRow group;
  group.parent = tree.crowded_parent();
  group.name = "Bench group";
  group.type = "Group";
  group.order = 21;
  int32_t shift = 1;
  uint64_t serial = 0;
  for (auto _ : state) {
    group.id = BenchTree::Uuid(7, serial++);
    watch.Start();
    store.Exec("BEGIN");
    for (std::size_t i = 0; i < tree.crowded_channels().size(); ++i) {
      update.BindInt(1, static_cast<int32_t>(21 + i + shift));
      update.BindText(2, tree.crowded_parent());
      update.BindText(3, tree.crowded_channels()[i]);
      update.Run();
    }
    insert.BindRow(group);
    insert.Run();
    store.Exec("COMMIT");
    watch.Stop();
    remove.BindText(1, group.id);
    remove.Run();
    shift = 1 - shift;
  }
}
void BM_RawShiftTxn(benchmark::State& state) { RawShiftTxn(state, Journal::kDefault); }
BENCHMARK(BM_RawShiftTxn)->MinTime(1.0)->UseManualTime()->Unit(benchmark::kMicrosecond);
void BM_RawShiftTxnWal(benchmark::State& state) { RawShiftTxn(state, Journal::kWriteAhead); }
BENCHMARK(BM_RawShiftTxnWal)->MinTime(1.0)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_RawSelectAll(benchmark::State& state) {
  Stopwatch watch(state);
  SharedTree(state.range(0)).Install();
  RawStore store;
  for (auto _ : state) {
    watch.Start();
    RawStatement select(store, "SELECT * FROM logical_table ORDER BY order_ ASC");
    const std::vector<TreeRow> rows = select.ReadRows();
    watch.Stop();
    if (rows.size() != static_cast<std::size_t>(state.range(0))) {
      state.SkipWithError("wrong row count");
      break;
    }
  }
}
BENCHMARK(BM_RawSelectAll)
    ->Arg(kStoredItems)
    ->Arg(kToolItems)
    ->MinTime(1.0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// SQLite's own check of the file, the first half of the check verb.
void BM_RawIntegrityCheck(benchmark::State& state) {
  Stopwatch watch(state);
  SharedTree(state.range(0)).Install();
  RawStore store;
  for (auto _ : state) {
    watch.Start();
    store.Exec("PRAGMA integrity_check");
    watch.Stop();
  }
}
BENCHMARK(BM_RawIntegrityCheck)
    ->Arg(kToolItems)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Every row deleted and inserted again in one transaction, statements
// prepared once: the SQLite work of an import.
void BM_RawReplaceAll(benchmark::State& state) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(state.range(0));
  for (auto _ : state) {
    tree.Install();
    RawStore store;
    watch.Start();
    store.Exec("BEGIN");
    store.Exec("DELETE FROM logical_table");
    RawStatement insert(store, kInsert);
    for (const TreeRow& row : tree.rows()) {
      insert.BindRow(row);
      insert.Run();
    }
    store.Exec("COMMIT");
    watch.Stop();
  }
}
BENCHMARK(BM_RawReplaceAll)
    ->Arg(kToolItems)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace pga
