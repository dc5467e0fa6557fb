// The fault loops: every scenario of testdata/fault_scenarios.txt is run once
// without faults, to count the disk calls of each kind and the allocations,
// and then once for each of those calls failing in turn (N = 1, 2, 3 ...),
// until a run meets no fault any more. FaultRun checks each run.
//
// PGA_FAULT_SECONDS says how long the loops may take: "0" (what
// scripts/faults runs) takes every point; a number of seconds gives each
// loop an equal share and a stride s from its clean run so that it fits: it
// fails the calls N = k, k + s, k + 2s ... up to the clean run's count,
// k rotating with the day (PGA_FAULT_OFFSET sets it), so that successive
// runs try other points. Unset, the loops take 60 seconds, the slice that
// the test suite runs. PGA_FAULT_ONLY picks loops by name (see Selected()).
//
// Each loop prints one line of counts, each kind one line of totals, and
// the last line reads "N passed, M failed" (N and M count runs).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "doubles/fault_run.h"
#include "doubles/recording_repository.h"
#include "host/script_command.h"

namespace pga {

namespace {

using Clock = std::chrono::steady_clock;

struct NamedScenario {
  std::string name;
  Scenario lives;
};

std::vector<std::string> Lines(const std::string& file) {
  std::ifstream in(std::string(PGA_HOST_TESTDATA) + "/" + file);
  EXPECT_TRUE(in.good()) << file;
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A script line as the reference host reads it.
std::optional<ScriptEvent> ReadLine(const std::string& line) {
  ParsedLine parsed = ParseScriptCommand(line);
  if (parsed.kind != ParsedLine::Kind::kCommand) return std::nullopt;
  return ScriptEvent{parsed.command.event_type, parsed.command.arguments,
                     std::move(parsed.command.payload)};
}

std::vector<NamedScenario> Scenarios() {
  std::vector<NamedScenario> scenarios;
  for (const std::string& line : Lines("fault_scenarios.txt")) {
    const std::size_t colon = line.find(':');
    if (line.empty() || line[0] == '#' || colon == std::string::npos) continue;
    NamedScenario scenario{line.substr(0, colon), {}};
    std::istringstream files(line.substr(colon + 1));
    for (std::string file; files >> file;) scenario.lives.push_back(Lines(file));
    scenarios.push_back(std::move(scenario));
  }
  return scenarios;
}

// The loops' time: 0 for every point.
double BudgetSeconds() {
  const char* text = std::getenv("PGA_FAULT_SECONDS");
  return text != nullptr ? std::atof(text) : 60.0;
}

// The first point of a slice with stride `stride`.
std::uint64_t SliceOffset(std::uint64_t stride) {
  if (const char* text = std::getenv("PGA_FAULT_OFFSET")) {
    return 1 + std::strtoull(text, nullptr, 10) % stride;
  }
  const auto days = std::chrono::duration_cast<std::chrono::hours>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count() /
                    24;
  return 1 + static_cast<std::uint64_t>(days) % stride;
}

// The outcome of one loop, of one kind, and of all of them.
struct Tally {
  int points = 0;
  int passed = 0;
  int failed = 0;
  std::map<FaultProblem, int> problems;
  std::vector<std::string> first_problems;

  void Add(const FaultRunReport& report, const std::string& point) {
    ++points;
    if (report.problems.empty()) {
      ++passed;
      return;
    }
    ++failed;
    for (const auto& [kind, what] : report.problems) {
      ++problems[kind];
      if (first_problems.size() < 5) {
        first_problems.push_back(point + ": " + FaultProblemName(kind) + ": " + what);
      }
    }
  }

  void Add(const Tally& other) {
    points += other.points;
    passed += other.passed;
    failed += other.failed;
    for (const auto& [kind, count] : other.problems) problems[kind] += count;
  }

  // "P fault points, N passed, M failed; 0 leaks; ..."
  std::string Counts() const {
    std::string text = std::to_string(points) + " fault points, " + std::to_string(passed) +
                       " passed, " + std::to_string(failed) + " failed";
    for (int i = 0; i < static_cast<int>(FaultProblem::kCount); ++i) {
      const auto problem = static_cast<FaultProblem>(i);
      auto found = problems.find(problem);
      text += "; " + std::to_string(found == problems.end() ? 0 : found->second) + " " +
              FaultProblemName(problem);
    }
    return text;
  }
};

// Runs, not points: the clean runs count too.
int total_passed = 0;
int total_failed = 0;

// One kind of fault, armed at the nth call or allocation.
struct FaultKind {
  std::string name;
  std::function<FaultPlan(std::uint64_t nth)> plan;
  // Calls of this kind in a clean run.
  std::function<std::uint64_t(const FaultRunReport& clean)> count;
};

// Runs one loop: `kind` at every point (or every s-th) of `scenario`, prints
// its line and adds it to `kind_tally`.
void RunLoop(const NamedScenario& scenario, const FaultKind& kind, double share_seconds,
             Tally& kind_tally) {
  const Clock::time_point start = Clock::now();
  const FaultRunReport clean = RunWithFault(scenario.lives, FaultPlan(), ReadLine);
  const double clean_seconds = std::chrono::duration<double>(Clock::now() - start).count();
  Tally clean_tally;
  clean_tally.Add(clean, scenario.name + " without faults");
  const std::uint64_t calls = kind.count(clean);
  const bool every_point = share_seconds <= 0;
  std::uint64_t stride = 1;
  if (!every_point && calls > 0) {
    stride = std::max<std::uint64_t>(
        1, static_cast<std::uint64_t>(std::ceil(calls * clean_seconds / share_seconds)));
  }
  const std::uint64_t first = every_point ? 1 : SliceOffset(stride);
  Tally tally;
  // Every point: past the clean run's count the loop goes on until no fault
  // is met, since a faulted run can take other paths, with more calls.
  for (std::uint64_t nth = first; every_point || nth <= calls; nth += stride) {
    const FaultRunReport report = RunWithFault(scenario.lives, kind.plan(nth), ReadLine);
    if (!report.fired) break;
    tally.Add(report, scenario.name + ", " + kind.name + " #" + std::to_string(nth));
  }
  std::string slice;
  if (stride > 1 || first > 1) {
    slice = " (from " + std::to_string(first) + " every " + std::to_string(stride) + ")";
  }
  std::printf("  %s: %llu calls, %s%s (%.1f s)\n", scenario.name.c_str(),
              static_cast<unsigned long long>(calls), tally.Counts().c_str(), slice.c_str(),
              std::chrono::duration<double>(Clock::now() - start).count());
  for (const std::string& problem : clean_tally.first_problems) {
    std::printf("    %s\n", problem.c_str());
    ADD_FAILURE() << problem;
  }
  for (const std::string& problem : tally.first_problems) {
    std::printf("    %s\n", problem.c_str());
    ADD_FAILURE() << problem;
  }
  std::fflush(stdout);
  kind_tally.Add(tally);
  total_passed += tally.passed + clean_tally.passed;
  total_failed += tally.failed + clean_tally.failed;
}

// PGA_FAULT_ONLY, when set, runs only the loops whose "kind / scenario"
// name contains it, to look at one loop again.
bool Selected(const FaultKind& kind, const NamedScenario& scenario) {
  const char* only = std::getenv("PGA_FAULT_ONLY");
  return only == nullptr || (kind.name + " / " + scenario.name).find(only) != std::string::npos;
}

void RunLoops(const std::vector<FaultKind>& kinds, double budget_share) {
  const std::vector<NamedScenario> scenarios = Scenarios();
  ASSERT_FALSE(scenarios.empty());
  const double share = budget_share / static_cast<double>(scenarios.size() * kinds.size());
  for (const FaultKind& kind : kinds) {
    std::printf("== %s\n", kind.name.c_str());
    Tally kind_tally;
    for (const NamedScenario& scenario : scenarios) {
      if (Selected(kind, scenario)) RunLoop(scenario, kind, share, kind_tally);
    }
    std::printf("%s: %s\n", kind.name.c_str(), kind_tally.Counts().c_str());
    std::fflush(stdout);
  }
}

FaultKind Disk(const char* name, IoCall call, int code, bool sticky = false) {
  FaultKind kind;
  kind.name = name;
  kind.plan = [=](std::uint64_t nth) {
    FaultPlan plan;
    plan.kind = FaultPlan::Kind::kIo;
    plan.io = FaultVfs::Fault{call, nth, code, sticky};
    return plan;
  };
  kind.count = [=](const FaultRunReport& clean) {
    return clean.io_calls[static_cast<std::size_t>(call)];
  };
  return kind;
}

FaultKind Memory(const char* name, CountingAllocator::Failure mode) {
  FaultKind kind;
  kind.name = name;
  kind.plan = [=](std::uint64_t nth) {
    FaultPlan plan;
    plan.kind = FaultPlan::Kind::kMemory;
    plan.allocation = static_cast<std::size_t>(nth);
    plan.allocation_mode = mode;
    return plan;
  };
  kind.count = [](const FaultRunReport& clean) { return clean.allocations; };
  return kind;
}

// The loops share the budget: disk calls three quarters, allocations the
// rest.
TEST(FaultInjectionTest, EveryDiskCallFailingInTurnLosesNothingAcknowledged) {
  FaultVfs::Install();
  RunLoops(
      {Disk("open", IoCall::kOpen, SQLITE_IOERR), Disk("read", IoCall::kRead, SQLITE_IOERR_READ),
       Disk("write", IoCall::kWrite, SQLITE_IOERR_WRITE),
       Disk("full disk", IoCall::kWrite, SQLITE_FULL, true),
       Disk("truncate", IoCall::kTruncate, SQLITE_IOERR_TRUNCATE),
       Disk("sync", IoCall::kSync, SQLITE_IOERR_FSYNC),
       Disk("lock", IoCall::kLock, SQLITE_IOERR_LOCK),
       Disk("file size", IoCall::kFileSize, SQLITE_IOERR_FSTAT),
       Disk("delete", IoCall::kDelete, SQLITE_IOERR_DELETE)},
      BudgetSeconds() * 0.75);
}

TEST(FaultInjectionTest, EveryAllocationFailingInTurnLeaksNothing) {
  FaultVfs::Install();
  RunLoops({Memory("allocation returning null", CountingAllocator::Failure::kReturnNull),
            Memory("allocation throwing", CountingAllocator::Failure::kThrowException)},
           BudgetSeconds() * 0.25);
}

// A store that acknowledges the save of one group and never makes it.
class ForgetfulStore : public RecordingRepository {
 public:
  using RecordingRepository::RecordingRepository;
  bool Save(int32_t table_key, const GroupOrderModel& item) override {
    if (item.itemId == "g-south") return true;
    return RecordingRepository::Save(table_key, item);
  }
};

// The loops above pass only if their checks can fail: shown on a store that
// loses an acknowledged change without any fault.
TEST(FaultInjectionTest, TheChecksCatchAStoreThatLosesAnAcknowledgedChange) {
  FaultVfs::Install();
  FaultPlan plan;
  plan.store = [](std::shared_ptr<IGroupRepository> real) -> std::shared_ptr<IGroupRepository> {
    return std::make_shared<ForgetfulStore>(std::move(real));
  };
  const FaultRunReport report = RunWithFault({Lines("requests.jsonl")}, plan, ReadLine);
  ASSERT_FALSE(report.problems.empty());
  EXPECT_EQ(report.problems.front().first, FaultProblem::kLostChange)
      << report.problems.front().second;
}

// Printed after every test ran, whichever ran.
class ClosingLine : public ::testing::Environment {
 public:
  void TearDown() override { std::printf("%d passed, %d failed\n", total_passed, total_failed); }
};

const auto* const closing_line = ::testing::AddGlobalTestEnvironment(new ClosingLine());

}  // namespace

}  // namespace pga
