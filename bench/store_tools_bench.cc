// group_host's store verbs at site scale, run in-process on a stored tree of
// 100,000 items (PGA_BENCH_TOOLS_ITEMS for another size, 1000000 for a
// large site's; scripts/bench reads the same variable). Their baselines,
// SQLite alone on the same file, are in raw_store_bench.cc (integrity_check
// for check, a plain SELECT of every row for export, one transaction that
// deletes and inserts every row for import) and here: SQLite's online
// backup with a quick_check for backup, and a backup copied back over the
// store with an integrity_check for restore.
#include <benchmark/benchmark.h>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "bench/bench_tree.h"
#include "bench/stopwatch.h"
#include "bench/store_verbs.h"
#include "tools/store_tools.h"

namespace pga {

// Copies the database `from` over `to` with SQLite's online backup, then
// runs `check` on the copy: what sqlite3's .backup and .restore do.
void RawCopy(const char* from, const char* to, const char* check) {
  sqlite3* source = nullptr;
  sqlite3* dest = nullptr;
  sqlite3_open_v2(from, &source, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_open(to, &dest);
  sqlite3_backup* backup = sqlite3_backup_init(dest, "main", source, "main");
  const int rc = backup != nullptr ? sqlite3_backup_step(backup, -1) : SQLITE_ERROR;
  sqlite3_backup_finish(backup);
  const bool ok = rc == SQLITE_DONE && sqlite3_exec(dest, check, nullptr, nullptr, nullptr) == 0;
  sqlite3_close(source);
  sqlite3_close(dest);
  if (!ok) throw std::runtime_error("the raw copy failed");
}

// Runs one store verb on the store of the current directory; what it prints
// goes nowhere. Returns its exit status.
int RunVerb(StoreVerb::Kind mode, const std::string& path) {
  StoreVerb options;
  options.kind = mode;
  options.path = path;
  options.force = true;  // each run writes the same file again
  std::FILE* sink = std::fopen("/dev/null", "w");
  const int status = StoreTools(options, sink, sink).Run();
  std::fclose(sink);
  return status;
}

namespace {

const int kItems = [] {
  const char* items = std::getenv("PGA_BENCH_TOOLS_ITEMS");
  return items != nullptr && std::atoi(items) > 0 ? std::atoi(items) : 100000;
}();

// One timed run of `mode` per iteration on a fresh copy of the tree.
void TimeVerb(benchmark::State& state, StoreVerb::Kind mode, const std::string& path) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(state.range(0));
  for (auto _ : state) {
    tree.Install();
    watch.Start();
    const int status = RunVerb(mode, path);
    watch.Stop();
    if (status != StoreTools::kSuccess) {
      state.SkipWithError("the verb failed");
      break;
    }
  }
}

void BM_StoreCheck(benchmark::State& state) { TimeVerb(state, StoreVerb::Kind::kCheck, "-"); }
BENCHMARK(BM_StoreCheck)
    ->Arg(kItems)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_StoreExport(benchmark::State& state) {
  TimeVerb(state, StoreVerb::Kind::kExport, "export.json");
}
BENCHMARK(BM_StoreExport)
    ->Arg(kItems)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Imports the tree's own export into a fresh copy of the tree: every row is
// deleted and written again.
void BM_StoreImport(benchmark::State& state) {
  SharedTree(state.range(0)).Install();
  if (RunVerb(StoreVerb::Kind::kExport, "import.json") != StoreTools::kSuccess) {
    state.SkipWithError("export failed");
    return;
  }
  TimeVerb(state, StoreVerb::Kind::kImport, "import.json");
}
BENCHMARK(BM_StoreImport)
    ->Arg(kItems)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_StoreTree(benchmark::State& state) { TimeVerb(state, StoreVerb::Kind::kTree, "-"); }
BENCHMARK(BM_StoreTree)->Arg(kItems)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_StoreBackup(benchmark::State& state) {
  TimeVerb(state, StoreVerb::Kind::kBackup, "backup.db");
}
BENCHMARK(BM_StoreBackup)
    ->Arg(kItems)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// A backup of the tree restored over a fresh copy of the tree.
void BM_StoreRestore(benchmark::State& state) {
  SharedTree(state.range(0)).Install();
  if (RunVerb(StoreVerb::Kind::kBackup, "restore.db") != StoreTools::kSuccess) {
    state.SkipWithError("backup failed");
    return;
  }
  TimeVerb(state, StoreVerb::Kind::kRestore, "restore.db");
}
BENCHMARK(BM_StoreRestore)
    ->Arg(kItems)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_RawBackupQuickCheck(benchmark::State& state) {
  Stopwatch watch(state);
  SharedTree(state.range(0)).Install();
  for (auto _ : state) {
    std::remove("raw-backup.db");
    watch.Start();
    RawCopy("group.db", "raw-backup.db", "PRAGMA quick_check");
    watch.Stop();
  }
}
BENCHMARK(BM_RawBackupQuickCheck)
    ->Arg(kItems)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_RawRestoreIntegrityCheck(benchmark::State& state) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(state.range(0));
  tree.Install();
  std::remove("raw-restore.db");
  RawCopy("group.db", "raw-restore.db", "SELECT 1");
  for (auto _ : state) {
    tree.Install();
    watch.Start();
    RawCopy("raw-restore.db", "group.db", "PRAGMA integrity_check");
    watch.Stop();
  }
}
BENCHMARK(BM_RawRestoreIntegrityCheck)
    ->Arg(kItems)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace pga
