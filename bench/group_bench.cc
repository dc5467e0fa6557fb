// The group component at site scale: each benchmark times one request or
// report on a stored tree, set up afresh where the work changes the tree.
// Times are wall-clock (disk syncs are not CPU time), measured around the
// component's handling only.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench/bench_app.h"
#include "bench/bench_requests.h"
#include "bench/bench_tree.h"
#include "bench/scale_bench.h"
#include "bench/stopwatch.h"
#include "group/channel_list_param.h"
#include "group/group_request_param.h"
#include "runtime/platform_string.h"
#include "runtime/vector.h"

namespace pga {

namespace {

constexpr std::size_t kStoredItems = 50000;

// Delivers an event and returns it with the answer, timing the delivery only.
std::unique_ptr<Event> TimedDeliver(Stopwatch& watch, BenchApp& app, std::uint32_t type,
                                    BaseObject* payload) {
  watch.Start();
  std::unique_ptr<Event> event = app.Deliver(type, payload);
  watch.Stop();
  return event;
}

void BM_AddChannels(benchmark::State& state) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(kStoredItems);
  uint64_t batch = 0;
  for (auto _ : state) {
    tree.Install();
    BenchApp app;
    app.Open();
    std::unique_ptr<Event> event =
        TimedDeliver(watch, app, eChannelsAdded, NewChannels(state.range(0), batch++));
    if (app.app().service()->items().size() != kStoredItems + state.range(0)) {
      state.SkipWithError("channels were not added");
    }
  }
}
BENCHMARK(BM_AddChannels)
    ->Arg(10000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_RemoveChannels(benchmark::State& state) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(kStoredItems);
  for (auto _ : state) {
    tree.Install();
    BenchApp app;
    app.Open();
    auto* ids = new ("Vector") Vector<std::string>();
    for (const std::string& id : tree.removable_channels()) ids->push_back(id);
    std::unique_ptr<Event> event = TimedDeliver(watch, app, eChannelsRemoved, ids);
    // 1,000 channels, 50 emptied groups and 5 emptied regions.
    if (app.app().service()->items().size() != kStoredItems - 1055) {
      state.SkipWithError("unexpected removals");
    }
  }
}
BENCHMARK(BM_RemoveChannels)
    ->Arg(1000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// A new group under the parent with 200 children: it goes after the 20
// groups and moves the 180 channels back. Untimed, the group is deleted
// again and the channels put back in their places, so that every iteration
// meets the same tree and really moves every channel.
void BM_CreateGroup(benchmark::State& state) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(kStoredItems);
  tree.Install();
  BenchApp app;
  app.Open();
  uint64_t serial = 0;
  for (auto _ : state) {
    auto group = std::make_shared<GroupModel>();
    group->groupId = BenchTree::Uuid(7, serial++);
    group->groupName = "Bench group";
    group->parentId = tree.crowded_parent();
    std::unique_ptr<Event> event =
        TimedDeliver(watch, app, eCreateLogicalGroup, GroupRequest(group));
    if (!Succeeded(*event) || app.DropNotifications() != 3) {
      state.SkipWithError("group not created");
      break;
    }
    auto gone = std::make_shared<GroupModel>();
    gone->groupId = group->groupId;
    app.Deliver(eDeleteLogicalGroup, GroupRequest(gone));
    if (!Succeeded(*app.Deliver(eModifyLogicalMapping, CrowdedChannelsBack(tree)))) {
      state.SkipWithError("channels not put back");
      break;
    }
    app.DropNotifications();
  }
}
BENCHMARK(BM_CreateGroup)->MinTime(1.0)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Moves ten top-level channels into a group and back, in turns.
void BM_ModifyMapping(benchmark::State& state) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(kStoredItems);
  tree.Install();
  BenchApp app;
  app.Open();
  bool into_group = true;
  for (auto _ : state) {
    auto moves = std::make_shared<GroupOrderModelList>();
    for (int64_t i = 0; i < state.range(0); ++i) {
      auto move = std::make_shared<GroupOrderModel>();
      move->itemId = tree.movable_channels().at(i);
      move->parentId = into_group ? tree.crowded_parent() : std::string();
      move->order = static_cast<int32_t>((into_group ? 1000 : 60000) + i);
      moves->push_back(std::move(move));
    }
    into_group = !into_group;
    std::unique_ptr<Event> event =
        TimedDeliver(watch, app, eModifyLogicalMapping, GroupRequest(moves));
    if (!Succeeded(*event)) {
      state.SkipWithError("mapping refused");
      break;
    }
    app.DropNotifications();
  }
}
BENCHMARK(BM_ModifyMapping)->Arg(10)->MinTime(1.0)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The answer belongs to the requester: it is released outside the timing.
void BM_GetLogicalList(benchmark::State& state) {
  Stopwatch watch(state);
  SharedTree(state.range(0)).Install();
  BenchApp app;
  app.Open();
  for (auto _ : state) {
    std::unique_ptr<Event> event = TimedDeliver(watch, app, eGetLogicalList, nullptr);
    if (event->GetObjectArgument() == nullptr) {
      state.SkipWithError("no list");
      break;
    }
  }
}
BENCHMARK(BM_GetLogicalList)
    ->Arg(kStoredItems)
    ->MinTime(1.0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_Start(benchmark::State& state) {
  Stopwatch watch(state);
  SharedTree(state.range(0)).Install();
  {
    // One untimed load first, as the baseline's many runs have: the first
    // load in a process pays for memory that later ones reuse.
    BenchApp warm_up;
    warm_up.Open();
  }
  for (auto _ : state) {
    BenchApp app;
    app.Create();
    watch.Start();
    app.Start();
    watch.Stop();
    if (app.app().service()->items().size() != static_cast<std::size_t>(state.range(0))) {
      state.SkipWithError("tree not loaded");
    }
  }
}
BENCHMARK(BM_Start)
    ->Arg(kStoredItems)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_GroupChannels(benchmark::State& state) {
  Stopwatch watch(state);
  const BenchTree& tree = SharedTree(state.range(0));
  tree.Install();
  BenchApp app;
  app.Open();
  for (auto _ : state) {
    std::unique_ptr<Event> event =
        TimedDeliver(watch, app, eGetGroupChannels,
                     new ("string") Platform_Std_Refine::String(tree.deep_group()));
    auto* channels = dynamic_cast<Vector<std::string>*>(event->GetObjectArgument());
    if (channels == nullptr || channels->size() != 2000) {
      state.SkipWithError("wrong channels");
      break;
    }
  }
}
BENCHMARK(BM_GroupChannels)
    ->Arg(10000)
    ->Arg(100000)
    ->MinTime(1.0)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

struct MemoryUse {
  double resident = 0;  // bytes of the process in memory
  double heap = 0;      // bytes handed out by malloc and not yet freed
};

// Freed memory goes back to the system first, so that the resident size
// counts what is in use.
MemoryUse MeasureMemory() {
  malloc_trim(0);
  MemoryUse use;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    long pages = 0;
    long resident = 0;
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) == 2) {
      use.resident = static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
    }
    std::fclose(statm);
  }
  const struct mallinfo2 info = mallinfo2();
  use.heap = static_cast<double>(info.uordblks + info.hblkhd);
  return use;
}

// What the cache (items and child index) costs per item, once the tree is
// loaded: the resident size and the heap in use, before and after Start().
void BM_CacheMemory(benchmark::State& state) {
  Stopwatch watch(state);
  const auto items = static_cast<double>(state.range(0));
  SharedTree(state.range(0)).Install();
  for (auto _ : state) {
    BenchApp app;
    app.Create();
    const MemoryUse before = MeasureMemory();
    watch.Start();
    app.Start();
    watch.Stop();
    const MemoryUse after = MeasureMemory();
    state.counters["rss_bytes_per_item"] = (after.resident - before.resident) / items;
    state.counters["heap_bytes_per_item"] = (after.heap - before.heap) / items;
  }
}
BENCHMARK(BM_CacheMemory)
    ->Arg(100000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace pga

using namespace pga;

int main(int argc, char** argv) {
  // glibc raises these two thresholds by itself once a process frees a large
  // block, up to these values, as a long-running host soon does. Fixed there
  // from the start, whether a benchmark gets its memory back from the heap or
  // fresh from the system no longer depends on which benchmark ran before it.
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
  if (std::getenv("PGA_BENCH_SCALE") != nullptr) RegisterScaleBenchmarks();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
