// The group component at the scale of the largest sites: one store of
// 1,001,000 items, built once, on which the start, a first query, the whole
// tree's list (with the reference host's writing of its reply line) and
// the memory they take are measured, each beside SQLite alone reading the
// same rows in the same run. Not part of the usual run: `scripts/bench
// --scale` registers these (see RegisterScaleBenchmarks).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_app.h"
#include "bench/bench_tree.h"
#include "bench/scale_bench.h"
#include "bench/stopwatch.h"
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
    if (std::sscanf(line.c_str(), "VmRSS: %ld kB", &kilobytes) == 1) resident.now = kilobytes * 1024.0;
    if (std::sscanf(line.c_str(), "VmHWM: %ld kB", &kilobytes) == 1) resident.peak = kilobytes * 1024.0;
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
  std::vector<TreeRow> rows;
  auto text = [&](int column) {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return bytes == nullptr ? std::string()
                            : std::string(bytes, sqlite3_column_bytes(statement, column));
  };
  while (sqlite3_step(statement) == SQLITE_ROW) {
    TreeRow& row = rows.emplace_back();
    row.id = text(0);
    row.parent = text(1);
    row.name = text(2);
    row.type = text(3);
    row.order = sqlite3_column_int(statement, 4);
    row.created_time = sqlite3_column_int64(statement, 5);
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows.size();
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

}  // namespace

void RegisterScaleBenchmarks() {
  // The store is built (and copied into place) before the first of them.
  for (auto* benchmark : {
           benchmark::RegisterBenchmark("BM_ScaleRawSelect", BM_ScaleRawSelect,
                                        "SELECT * FROM logical_table ORDER BY order_ ASC"),
           // The start's own statement: the rows sorted by id by SQLite.
           benchmark::RegisterBenchmark(
               "BM_ScaleRawSelectById", BM_ScaleRawSelect,
               "SELECT * FROM logical_table NOT INDEXED ORDER BY uuid ASC, order_ ASC"),
           benchmark::RegisterBenchmark("BM_ScaleStartAndQuery", BM_ScaleStartAndQuery),
           benchmark::RegisterBenchmark("BM_ScaleGetLogicalList", BM_ScaleGetLogicalList),
       }) {
    benchmark->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
  }
}

}  // namespace pga
