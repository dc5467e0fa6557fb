// group_host's store verbs at site scale, run in-process on a stored tree of
// 100,000 items. Their baselines, SQLite alone on the same file, are in
// raw_store_bench.cc: integrity_check for check, a plain SELECT of every row
// for export, one transaction that deletes and inserts every row for import.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/bench_tree.h"
#include "bench/stopwatch.h"
#include "host/host_options.h"
#include "host/store_tools.h"

namespace pga {

namespace {

constexpr std::size_t kItems = 100000;

// Runs one store verb on the store of the current directory; what it prints
// goes nowhere. Returns its exit status.
int RunVerb(HostOptions::Mode mode, const std::string& path = "-") {
  HostOptions options;
  options.mode = mode;
  options.path = path;
  std::FILE* sink = std::fopen("/dev/null", "w");
  const int status = StoreTools(options, sink, sink).Run();
  std::fclose(sink);
  return status;
}

// One timed run of `mode` per iteration on a fresh copy of the tree.
void TimeVerb(benchmark::State& state, HostOptions::Mode mode, const std::string& path) {
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

void BM_StoreCheck(benchmark::State& state) { TimeVerb(state, HostOptions::Mode::kCheck, "-"); }
BENCHMARK(BM_StoreCheck)
    ->Arg(kItems)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_StoreExport(benchmark::State& state) {
  TimeVerb(state, HostOptions::Mode::kExport, "export.json");
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
  if (RunVerb(HostOptions::Mode::kExport, "import.json") != StoreTools::kSuccess) {
    state.SkipWithError("export failed");
    return;
  }
  TimeVerb(state, HostOptions::Mode::kImport, "import.json");
}
BENCHMARK(BM_StoreImport)
    ->Arg(kItems)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace pga
