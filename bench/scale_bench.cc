// The group component at the scale of the largest sites: one store of
// 1,001,000 items, built once, on which the start, a first query, the whole
// tree's list (with the reference host's writing of its reply line) and
// the memory they take are measured, each beside SQLite alone reading the
// same rows in the same run. Not part of the usual run: `scripts/bench
// --scale` registers these (see RegisterScaleBenchmarks).
#include "bench/scale_bench.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_app.h"
#include "bench/bench_tree.h"
#include "bench/stopwatch.h"
#include "bench/store_verbs.h"
#include "host/delivery_outcome.h"
#include "host/reply_writer.h"
#include "runtime/event_type.h"
#include "runtime/platform_string.h"
#include "runtime/vector.h"

namespace pga {

namespace {

constexpr std::size_t kScaleItems = 1001000;

// Bytes of the process in memory now ("VmRSS") and at most since the last
// ResetPeak() ("VmHWM"), from /proc/self/status.
struct Resident {
  double now = 0;
  double peak = 0;
};

Resident ReadResident() {
  Resident resident;
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    long kilobytes = 0;
    if (std::sscanf(line.c_str(), "VmRSS: %ld kB", &kilobytes) == 1)
      resident.now = kilobytes * 1024.0;
    if (std::sscanf(line.c_str(), "VmHWM: %ld kB", &kilobytes) == 1)
      resident.peak = kilobytes * 1024.0;
  }
  return resident;
}

// Gives freed memory back, then starts the peak afresh from what is in use.
Resident ResetPeak() {
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";
  return ReadResident();
}

// SQLite alone: every row into values, as the store's rows, in the order
// the start reads them (by id) or the order the store lists them (by order).
std::size_t RawRead(const char* sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2("group.db", &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open group.db");
  }
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
  const std::size_t count = ReadTreeRows(statement).size();
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return count;
}

// SQLite alone reading every row by `sql`, timed.
void BM_ScaleRawSelect(benchmark::State& state, const char* sql) {
  Stopwatch watch(state);
  SharedTree(kScaleItems).Install();
  for (auto _ : state) {
    watch.Start();
    const std::size_t rows = RawRead(sql);
    watch.Stop();
    if (rows != kScaleItems) state.SkipWithError("wrong row count");
  }
}

// The start, then a first query (the 2,000 channels below the deep group);
// the time is both together, the counters say what each took and what the
// cache holds in memory.
void BM_ScaleStartAndQuery(benchmark::State& state) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(kScaleItems);
  tree.Install();
  for (auto _ : state) {
    BenchApp app;
    app.Create();
    const Resident before = ResetPeak();
    watch.Start();
    const auto start = std::chrono::steady_clock::now();
    app.Start();
    const auto started = std::chrono::steady_clock::now();
    std::unique_ptr<Event> event = app.Deliver(
        eGetGroupChannels, new ("string") Platform_Std_Refine::String(tree.deep_group()));
    watch.Stop();
    const auto answered = std::chrono::steady_clock::now();
    const Resident after = ReadResident();
    auto* channels = dynamic_cast<Vector<std::string>*>(event->GetObjectArgument());
    if (app.app().service()->items().size() != kScaleItems || channels == nullptr ||
        channels->size() != 2000) {
      state.SkipWithError("tree not loaded or query not answered");
      break;
    }
    state.counters["start_s"] = std::chrono::duration<double>(started - start).count();
    state.counters["first_query_s"] = std::chrono::duration<double>(answered - started).count();
    state.counters["rss_bytes_per_item"] = (after.now - before.now) / kScaleItems;
    state.counters["peak_above_before_mb"] = (after.peak - before.now) / 1e6;
  }
}

// GetLogicalList, then its reply line as the reference host writes it; the
// list goes before the peak is read. The peak counts what the request and
// the writing take above the loaded cache.
void BM_ScaleGetLogicalList(benchmark::State& state) {
  Stopwatch watch(state);
  SharedTree(kScaleItems).Install();
  BenchApp app;
  app.Open();
  for (auto _ : state) {
    std::size_t written = 0;
    // As the reference host writes it: part by part, as the parts come.
    ReplyWriter writer([&written](std::string_view part, bool) { written += part.size(); });
    const Resident before = ResetPeak();
    watch.Start();
    const auto start = std::chrono::steady_clock::now();
    DeliveryOutcome outcome;
    outcome.event = app.Deliver(eGetLogicalList, nullptr);
    outcome.handled = true;
    const auto answered = std::chrono::steady_clock::now();
    writer.WriteReply("GetLogicalList", eGetLogicalList, outcome);
    outcome.event.reset();
    watch.Stop();
    const Resident after = ReadResident();
    if (written < kScaleItems * 50) {
      state.SkipWithError("no list written");
      break;
    }
    state.counters["request_s"] = std::chrono::duration<double>(answered - start).count();
    state.counters["reply_mb"] = static_cast<double>(written) / 1e6;
    state.counters["peak_above_cache_mb"] = (after.peak - before.now) / 1e6;
  }
}

// A fresh copy of the store, on the disk before anything is timed: a sync
// in what is timed then waits for its own writes, not for the copy's.
void InstallSynced(const BenchTree& tree) {
  tree.Install();
  sync();
}

// SQLite alone doing what a store verb does, on the same file: `sql` run
// through to its last row on a connection of its own.
void BM_ScaleRawPragma(benchmark::State& state, const char* sql) {
  Stopwatch watch(state);
  InstallSynced(SharedTree(kScaleItems));
  for (auto _ : state) {
    sqlite3* db = nullptr;
    sqlite3_open_v2("group.db", &db, SQLITE_OPEN_READONLY, nullptr);
    watch.Start();
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    watch.Stop();
    sqlite3_close(db);
    if (rc != SQLITE_OK) state.SkipWithError("the statement failed");
  }
}

// sqlite3's .dump of the store into a file: what export is compared with.
void BM_ScaleRawDump(benchmark::State& state) {
  Stopwatch watch(state);
  InstallSynced(SharedTree(kScaleItems));
  for (auto _ : state) {
    watch.Start();
    const int status = std::system("sqlite3 group.db .dump > raw-dump.sql");
    watch.Stop();
    if (status != 0) state.SkipWithError("sqlite3 .dump failed (is sqlite3 installed?)");
  }
}

// Every row deleted and inserted again in one transaction, the statement
// prepared once, the rows in id order as an export lists them: the SQLite
// work of an import.
void BM_ScaleRawReplaceAll(benchmark::State& state) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(kScaleItems);
  std::vector<const TreeRow*> by_id;
  for (const TreeRow& row : tree.rows()) by_id.push_back(&row);
  std::sort(by_id.begin(), by_id.end(),
            [](const TreeRow* a, const TreeRow* b) { return a->id < b->id; });
  for (auto _ : state) {
    InstallSynced(tree);
    sqlite3* db = nullptr;
    sqlite3_open("group.db", &db);
    sqlite3_stmt* insert = nullptr;
    watch.Start();
    sqlite3_exec(db, "BEGIN; DELETE FROM logical_table", nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(db,
                       "INSERT INTO logical_table (uuid, parent_uuid, name, type, order_, "
                       "created_time) VALUES(?,?,?,?,?,?)",
                       -1, &insert, nullptr);
    for (const TreeRow* in_order : by_id) {
      BindTreeRow(insert, *in_order);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    const int rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    watch.Stop();
    sqlite3_close(db);
    if (rc != SQLITE_OK) state.SkipWithError("the replacement failed");
  }
}

// SQLite's online backup of the store and a check of the copy: `from` and
// `to` name the files, `check` the check. Restore copies a backup over the
// store, which is installed afresh first.
void BM_ScaleRawCopy(benchmark::State& state, bool restore) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(kScaleItems);
  InstallSynced(tree);
  if (restore) RawCopy("group.db", "raw-restore.db", "SELECT 1");
  for (auto _ : state) {
    if (restore) InstallSynced(tree);
    std::remove("raw-backup.db");
    watch.Start();
    if (restore) {
      RawCopy("raw-restore.db", "group.db", "PRAGMA integrity_check");
    } else {
      RawCopy("group.db", "raw-backup.db", "PRAGMA quick_check");
    }
    watch.Stop();
  }
}

// One store verb on a fresh copy of the store, with the peak memory it took
// above what the process held before it, and for export and import the
// size of the document.
void BM_ScaleVerb(benchmark::State& state, StoreVerb::Kind kind, const char* path) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(kScaleItems);
  InstallSynced(tree);
  if (kind == StoreVerb::Kind::kImport &&
      RunVerb(StoreVerb::Kind::kExport, path) != StoreTools::kSuccess) {
    state.SkipWithError("the export to import failed");
    return;
  }
  if (kind == StoreVerb::Kind::kRestore &&
      RunVerb(StoreVerb::Kind::kBackup, path) != StoreTools::kSuccess) {
    state.SkipWithError("the backup to restore failed");
    return;
  }
  for (auto _ : state) {
    InstallSynced(tree);
    const Resident before = ResetPeak();
    watch.Start();
    const int status = RunVerb(kind, path);
    watch.Stop();
    const Resident after = ReadResident();
    if (status != StoreTools::kSuccess) {
      state.SkipWithError("the verb failed");
      break;
    }
    state.counters["peak_above_before_mb"] = (after.peak - before.now) / 1e6;
    if (kind == StoreVerb::Kind::kExport || kind == StoreVerb::Kind::kImport) {
      state.counters["document_mb"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    }
  }
}

}  // namespace

void RegisterScaleBenchmarks() {
  // The store is built (and copied into place) before the first of them.
  for (auto* benchmark : {
           benchmark::RegisterBenchmark("BM_ScaleRawSelect", BM_ScaleRawSelect,
                                        "SELECT * FROM logical_table ORDER BY order_ ASC"),
           // SQLite alone sorting the rows by id, as the start once had it do.
           benchmark::RegisterBenchmark(
               "BM_ScaleRawSelectById", BM_ScaleRawSelect,
               "SELECT * FROM logical_table NOT INDEXED ORDER BY uuid ASC, order_ ASC"),
           // The start's own statement: the rows as the table keeps them.
           benchmark::RegisterBenchmark("BM_ScaleRawSelectAsKept", BM_ScaleRawSelect,
                                        "SELECT *, order_ FROM logical_table NOT INDEXED"),
           benchmark::RegisterBenchmark("BM_ScaleStartAndQuery", BM_ScaleStartAndQuery),
           benchmark::RegisterBenchmark("BM_ScaleGetLogicalList", BM_ScaleGetLogicalList),
           // The store verbs, each right after its baseline.
           benchmark::RegisterBenchmark("BM_ScaleRawIntegrityCheck", BM_ScaleRawPragma,
                                        "PRAGMA integrity_check"),
           benchmark::RegisterBenchmark("BM_ScaleCheck", BM_ScaleVerb, StoreVerb::Kind::kCheck,
                                        "-"),
           benchmark::RegisterBenchmark("BM_ScaleRawDump", BM_ScaleRawDump),
           benchmark::RegisterBenchmark("BM_ScaleExport", BM_ScaleVerb, StoreVerb::Kind::kExport,
                                        "export.json"),
           benchmark::RegisterBenchmark("BM_ScaleRawReplaceAll", BM_ScaleRawReplaceAll),
           benchmark::RegisterBenchmark("BM_ScaleImport", BM_ScaleVerb, StoreVerb::Kind::kImport,
                                        "import.json"),
           benchmark::RegisterBenchmark("BM_ScaleTree", BM_ScaleVerb, StoreVerb::Kind::kTree, "-"),
           benchmark::RegisterBenchmark("BM_ScaleRawBackupQuickCheck", BM_ScaleRawCopy, false),
           benchmark::RegisterBenchmark("BM_ScaleBackup", BM_ScaleVerb, StoreVerb::Kind::kBackup,
                                        "backup.db"),
           benchmark::RegisterBenchmark("BM_ScaleRawRestoreIntegrityCheck", BM_ScaleRawCopy, true),
           benchmark::RegisterBenchmark("BM_ScaleRestore", BM_ScaleVerb, StoreVerb::Kind::kRestore,
                                        "restore.db"),
       }) {
    benchmark->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
  }
}

}  // namespace pga
