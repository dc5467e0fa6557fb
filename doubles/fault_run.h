// FaultRun: one run of host scripts through a live group component in a
// fresh data directory, with at most one fault armed (a failing disk call or
// a failing allocation), and the checks that the component survived it:
//   - every change whose request answered success, and every write the store
//     acknowledged, is in the table right after the request;
//   - every transaction of the store is there whole or not at all;
//   - a request whose store writes failed answers 5000000 "Internal Server
//     Error", and one that answers so met a store failure;
//   - once the fault is over, the next requests succeed (a probe group is
//     created and deleted), and a restart without faults loads the tree the
//     table holds, which passes PRAGMA integrity_check;
//   - every block of the counting allocator went back, exactly once.
// The component is linked in; the store goes through FaultVfs and a
// RecordingRepository in front of the real repository.
#ifndef PGA_DOUBLES_FAULT_RUN_H_
#define PGA_DOUBLES_FAULT_RUN_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "doubles/counting_allocator.h"
#include "doubles/fault_vfs.h"
#include "runtime/base_object.h"
#include "store/i_group_repository.h"

namespace pga {

// The event that one script line stands for: its type, its arguments and its
// payload object (null for none), which the run hands over to the event.
struct ScriptEvent {
  std::uint32_t type = 0;
  long long arguments = 0;
  std::unique_ptr<BaseObject> payload;
};
// Turns one script line into its event; nullopt for a line that is no
// command (a comment, or one that cannot be run). Called with the run's
// allocator installed, which the payload must come from.
using LineReader = std::function<std::optional<ScriptEvent>(const std::string&)>;

// The lives of one scenario: each is a script (its lines) run by one
// component, started and stopped, on the data directory the previous ones
// left.
using Scenario = std::vector<std::vector<std::string>>;

// The fault of a run.
struct FaultPlan {
  enum class Kind { kNone, kIo, kMemory };
  Kind kind = Kind::kNone;
  // kIo: the disk call to fail.
  FaultVfs::Fault io;
  // kMemory: the MallocSafe call to fail (1 is the first of the run), and how.
  std::size_t allocation = 0;
  CountingAllocator::Failure allocation_mode = CountingAllocator::Failure::kReturnNull;
  // When set, puts a store of the test's own in front of the real one (the
  // checks are recorded in front of it), so that a test can show that the
  // checks catch a store that misbehaves.
  std::function<std::shared_ptr<IGroupRepository>(std::shared_ptr<IGroupRepository>)> store;
};

// The kinds of failure a run can show.
enum class FaultProblem {
  kLeak,          // blocks left in the counting allocator, or freed twice
  kIntegrity,     // integrity_check not ok, or the table cannot be read
  kLostChange,    // an acknowledged change missing from the table
  kPartialBatch,  // a transaction kept in part
  kWrongAnswer,   // an answer that does not match what the store did
  kNotWorking,    // the component does not work once the fault is over
  kCount
};

// "leaks", "integrity failures", ... for reports.
const char* FaultProblemName(FaultProblem problem);

struct FaultRunReport {
  // Whether the armed fault was met at all.
  bool fired = false;
  // Calls of each disk kind, and MallocSafe calls, during the run.
  FaultVfs::Counts io_calls{};
  std::size_t allocations = 0;
  // Each failed check: its kind and what was seen.
  std::vector<std::pair<FaultProblem, std::string>> problems;
};

// Runs `scenario` with `plan` in a temporary directory (the process's
// working directory meanwhile) and reports; `read` turns its lines, and the
// probe requests of a create and a delete, into events. The component's own printing is
// sent to /dev/null for the length of the run. Needs FaultVfs installed;
// installs its own counting allocator in the runtime while it runs.
FaultRunReport RunWithFault(const Scenario& scenario, const FaultPlan& plan,
                            const LineReader& read);

}  // namespace pga

#endif  // PGA_DOUBLES_FAULT_RUN_H_
