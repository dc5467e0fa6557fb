// The fault loops: every scenario of testdata/fault_scenarios.txt is run once
// without faults, to count the disk calls of each kind and the allocations,
// and then once for each of those calls failing in turn (N = 1, 2, 3 ...),
// until a run meets no fault any more. FaultRun checks each run.
//
// PGA_FAULT_SECONDS bounds the loops: each gets an equal share of it and
// fails every s-th call instead of every call, s chosen from its clean run
// so that it fits its share. Unset or 0 runs every point. Each loop prints
// one line of counts; the last line reads "N passed, M failed".
// PGA_FAULT_ONLY picks loops by name (see Selected()).
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/fault_run.h"

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

double BudgetSeconds() {
  const char* text = std::getenv("PGA_FAULT_SECONDS");
  return text != nullptr ? std::atof(text) : 0.0;
}

// The outcome of one loop, and of all of them.
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
};

Tally total;

// One kind of fault, armed at the nth call or allocation.
struct FaultKind {
  std::string name;
  std::function<FaultPlan(std::uint64_t nth)> plan;
  // Calls of this kind in a clean run.
  std::function<std::uint64_t(const FaultRunReport& clean)> count;
};

// Runs one loop: `kind` at every point (or every s-th) of `scenario`, and
// prints its line.
void RunLoop(const NamedScenario& scenario, const FaultKind& kind, double share_seconds) {
  const Clock::time_point start = Clock::now();
  const FaultRunReport clean = RunWithFault(scenario.lives, FaultPlan());
  const double clean_seconds = std::chrono::duration<double>(Clock::now() - start).count();
  Tally tally;
  tally.Add(clean, scenario.name + " without faults");
  const std::uint64_t calls = kind.count(clean);
  std::uint64_t stride = 1;
  if (share_seconds > 0 && calls > 0) {
    stride = std::max<std::uint64_t>(
        1, static_cast<std::uint64_t>(std::ceil(calls * clean_seconds / share_seconds)));
  }
  // Past the clean run's count the loop goes on until no fault is met: a
  // faulted run can take other paths, with more calls.
  for (std::uint64_t nth = 1;; nth += stride) {
    const FaultRunReport report = RunWithFault(scenario.lives, kind.plan(nth));
    if (!report.fired) break;
    tally.Add(report, scenario.name + ", " + kind.name + " #" + std::to_string(nth));
  }
  std::string line = kind.name + " / " + scenario.name + ": " + std::to_string(calls) +
                     " calls, " + std::to_string(tally.points - 1) + " fault points" +
                     (stride > 1 ? " (every " + std::to_string(stride) + ")" : "") + ", " +
                     std::to_string(tally.passed) + " passed, " + std::to_string(tally.failed) +
                     " failed";
  for (int i = 0; i < static_cast<int>(FaultProblem::kCount); ++i) {
    const auto problem = static_cast<FaultProblem>(i);
    line += "; " + std::to_string(tally.problems[problem]) + " " + FaultProblemName(problem);
  }
  std::printf("%s (%.1f s)\n", line.c_str(),
              std::chrono::duration<double>(Clock::now() - start).count());
  std::fflush(stdout);
  for (const std::string& problem : tally.first_problems) {
    std::printf("  %s\n", problem.c_str());
    ADD_FAILURE() << problem;
  }
  total.points += tally.points;
  total.passed += tally.passed;
  total.failed += tally.failed;
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
    for (const NamedScenario& scenario : scenarios) {
      if (Selected(kind, scenario)) RunLoop(scenario, kind, share);
    }
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
  RunLoops({Disk("open", IoCall::kOpen, SQLITE_IOERR),
            Disk("read", IoCall::kRead, SQLITE_IOERR_READ),
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

// Printed after every test ran, whichever ran.
class ClosingLine : public ::testing::Environment {
 public:
  void TearDown() override {
    std::printf("%d passed, %d failed\n", total.passed, total.failed);
  }
};

const auto* const closing_line = ::testing::AddGlobalTestEnvironment(new ClosingLine());

}  // namespace
