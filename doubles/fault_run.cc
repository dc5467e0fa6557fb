#include "doubles/fault_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "doubles/component_driver.h"
#include "doubles/recording_event_queue.h"
#include "doubles/recording_repository.h"
#include "doubles/stored_tree.h"
#include "group/group_application.h"
#include "group/group_request_param.h"
#include "records/i_device_dispatcher.h"
#include "runtime/exception.h"
#include "store/group_service.h"
#include "store/sqlite_group_repository.h"
#include "store/temp_store_dir.h"

namespace pga {

namespace {

constexpr char kProbeCreate[] =
    "{\"request\":\"CreateLogicalGroup\",\"group\":{\"groupId\":\"fault-probe\","
    "\"groupName\":\"Probe\",\"parentId\":\"fault-probe-parent\"}}";
constexpr char kProbeDelete[] =
    "{\"request\":\"DeleteLogicalGroup\",\"group\":{\"groupId\":\"fault-probe\"}}";
constexpr char kEventReport[] = "EVENTEVENTEVENTEVENT";

// Sends standard output to /dev/null while it lives.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, STDOUT_FILENO);
      close(null);
    }
  }
  ~QuietStdout() {
    std::fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, STDOUT_FILENO);
      close(saved_);
    }
  }
  QuietStdout(const QuietStdout&) = delete;
  QuietStdout& operator=(const QuietStdout&) = delete;

 private:
  int saved_ = -1;
};

// Ends the process, with a line that names the run, when a run takes longer
// than any run should: a hang must not stall the loops for good.
class Watchdog {
 public:
  explicit Watchdog(std::string what) : what_(std::move(what)) {
    thread_ = std::thread([this] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!done_cv_.wait_for(lock, kLimit, [this] { return done_; })) {
        std::fprintf(stderr, "a fault run hangs (%s): still running after %lld s\n", what_.c_str(),
                     static_cast<long long>(kLimit.count()));
        std::abort();
      }
    });
  }
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_cv_.notify_one();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  static constexpr std::chrono::seconds kLimit{300};
  std::string what_;
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  std::thread thread_;
};

// What a request left in its event.
struct Answer {
  bool delivered = false;
  bool had_request = false;  // it carried a GroupRequestParam
  bool succeeded = false;
  bool answered = false;   // a request record or a result record is there
  std::uint32_t code = 0;  // of a result record
  std::string message;
};

bool IsChange(std::uint32_t type) {
  return type == eCreateLogicalGroup || type == eModifyLogicalGroup ||
         type == eDeleteLogicalGroup || type == eModifyLogicalMapping;
}

bool AnyFailed(const std::vector<StoreUnit>& units) {
  for (const StoreUnit& unit : units) {
    if (!unit.ok) return true;
    for (const StoreWrite& write : unit.writes) {
      if (!write.ok) return true;
    }
  }
  return false;
}

class FaultRun {
 public:
  FaultRun(const Scenario& scenario, const FaultPlan& plan, const LineReader& read)
      : scenario_(scenario), plan_(plan), read_(read), vfs_(FaultVfs::Install()) {}

  FaultRunReport Run() {
    QuietStdout quiet;
    // In memory when the system has a place for it: the disk's failures
    // come from the VFS, and real disk syncs would only slow each run.
    const bool shm = std::filesystem::is_directory("/dev/shm");
    TempStoreDir dir(shm ? std::filesystem::path("/dev/shm")
                         : std::filesystem::temp_directory_path());
    InstallAllocator(&allocator_);
    vfs_.ResetCounts();
    Arm();
    for (std::size_t life = 0; life < scenario_.size(); ++life) {
      life_ = life;
      if (!Start()) continue;
      for (std::size_t line = 0; line < scenario_[life].size(); ++line) {
        line_ = line + 1;
        RunLine(scenario_[life][line], false);
      }
      Stop();
    }
    report_.fired = Fired();
    report_.io_calls = vfs_.counts();
    report_.allocations = allocator_.Calls();
    vfs_.Disarm();
    RestartWithoutFaults();
    CheckAllocator();
    InstallAllocator(nullptr);
    return std::move(report_);
  }

 private:
  void Arm() {
    if (plan_.kind == FaultPlan::Kind::kIo) vfs_.Arm(plan_.io);
    if (plan_.kind == FaultPlan::Kind::kMemory) {
      allocator_.FailAt(plan_.allocation, plan_.allocation_mode);
    }
  }

  bool Fired() const {
    switch (plan_.kind) {
      case FaultPlan::Kind::kIo:
        return vfs_.failures() > 0;
      case FaultPlan::Kind::kMemory:
        return allocator_.FailedAt().has_value();
      case FaultPlan::Kind::kNone:
        break;
    }
    return false;
  }

  // Failures so far: a request "meets" the fault when this grows during it.
  std::size_t FailureCount() const {
    if (plan_.kind == FaultPlan::Kind::kIo) return vfs_.failures();
    return Fired() ? 1 : 0;
  }

  void Problem(FaultProblem kind, const std::string& what) {
    report_.problems.emplace_back(
        kind, "life " + std::to_string(life_ + 1) + " line " + std::to_string(line_) + ": " + what);
  }

  // Creates, associates and starts a component on the directory's store.
  // When it cannot be made while the fault is being met, the fault ends
  // and the start is tried once more, as a host would after a failed start.
  bool Start() {
    line_ = 0;
    const std::size_t failures = FailureCount();
    if (Open()) return CheckStart();
    if (FailureCount() == failures) {
      Problem(FaultProblem::kNotWorking, "no component without any fault: " + open_error_);
      return false;
    }
    vfs_.Disarm();
    if (Open()) return CheckStart();
    Problem(FaultProblem::kNotWorking, "no component after the fault was over: " + open_error_);
    return false;
  }

  bool Open() {
    open_error_.clear();
    const std::size_t failures = FailureCount();
    try {
      std::shared_ptr<RecordingRepository> recorder;
      app_ = new ("GroupApplication") GroupApplication([&recorder, this] {
        std::shared_ptr<IGroupRepository> store = std::make_shared<SqliteGroupRepository>();
        if (plan_.store) store = plan_.store(std::move(store));
        recorder = std::make_shared<RecordingRepository>(std::move(store));
        return std::make_shared<GroupService>(recorder);
      });
      recorder_ = std::move(recorder);
    } catch (const std::exception& e) {
      open_error_ = e.what();
    }
    if (app_ == nullptr) {
      if (open_error_.empty()) open_error_ = "no storage for the component";
      return false;
    }
    driver_ = std::make_unique<ComponentDriver>(*app_);
    std::string thrown;
    try {
      driver_->Allocate();
      // Without storage for the association, or for the component's table of
      // receivers, the notifications are lost, which the component survives
      // like any lost notification.
      driver_->AssociateReceiver("DeviceListener", listener_, 2);
      driver_->Begin();
    } catch (const Exception& e) {
      thrown = std::string("start threw: ") + e.GetMessage();
    } catch (const std::exception& e) {
      thrown = std::string("start threw: ") + e.what();
    } catch (...) {
      thrown = "start threw";
    }
    if (!thrown.empty() && FailureCount() == failures) {
      Problem(FaultProblem::kNotWorking, thrown + " without any fault");
    }
    recorder_->TakeUnits();
    listener_.TakeEvents();
    return true;
  }

  // Starting may make the table, and changes no row.
  bool CheckStart() {
    std::optional<StoredTree> stored = Read(nullptr);
    if (!stored) return true;
    StoredTree expected = expected_;
    if (!expected.has_table && stored->has_table) expected.has_table = true;
    if (*stored != expected) {
      Problem(FaultProblem::kLostChange,
              "the start changed the table: " + stored->Difference(expected));
    }
    expected_ = *stored;
    return true;
  }

  void Stop() {
    line_ = 0;
    Close();
    std::string integrity;
    std::optional<StoredTree> stored = Read(&integrity);
    if (!stored) return;
    if (integrity != "ok") Problem(FaultProblem::kIntegrity, "after stopping: " + integrity);
    if (*stored != expected_) {
      Problem(FaultProblem::kLostChange,
              "the stop changed the table: " + stored->Difference(expected_));
    }
    expected_ = *stored;
  }

  void Close() {
    if (app_ == nullptr) return;
    try {
      driver_->End();
    } catch (...) {
      // Lifecycle handlers report their own failures.
    }
    driver_.reset();
    delete app_;
    app_ = nullptr;
    recorder_.reset();
    listener_.TakeEvents();
  }

  // Reads the table through the real VFS; a failure to read is an
  // integrity failure.
  std::optional<StoredTree> Read(std::string* integrity) {
    if (!std::filesystem::exists("group.db")) return StoredTree();
    std::string error;
    std::optional<StoredTree> stored = StoredTree::Read(vfs_.real_name().c_str(), integrity, error);
    if (!stored) Problem(FaultProblem::kIntegrity, error);
    return stored;
  }

  // Delivers one script line and checks what it did. A probe line must
  // succeed.
  Answer RunLine(const std::string& line, bool probe) {
    Answer answer;
    // Without a table (cleared) nothing can succeed until the next start.
    const bool had_table = expected_.has_table;
    std::optional<ScriptEvent> command = read_(line);
    if (!command || app_ == nullptr) return answer;
    const std::uint32_t type = command->type;
    answer.had_request = dynamic_cast<GroupRequestParam*>(command->payload.get()) != nullptr;
    const std::size_t failures = FailureCount();
    std::unique_ptr<Event> event =
        driver_->MakeEvent(type, command->arguments, command->payload.release());
    if (event != nullptr) {
      answer.delivered = true;
      try {
        driver_->Deliver(*event);
      } catch (...) {
        // Events the component does not take are refused by exceptions;
        // the host carries on.
      }
      ReadAnswer(*event, answer);
    }
    const bool met = FailureCount() != failures;
    const std::vector<StoreUnit> units = recorder_->TakeUnits();
    listener_.TakeEvents();
    CheckStore(units, answer);
    if (IsChange(type) && answer.had_request && answer.delivered) CheckAnswer(units, answer, met);
    if (probe && had_table && !answer.succeeded) {
      Problem(FaultProblem::kNotWorking, "after the fault, \"" + line + "\" did not succeed");
    }
    if (met && !probe) {
      // The fault is over: the component must work again at once.
      vfs_.Disarm();
      RunLine(kProbeCreate, true);
      RunLine(kProbeDelete, true);
    }
    return answer;
  }

  static void ReadAnswer(Event& event, Answer& answer) {
    BaseObject* payload = event.GetObjectArgument();
    if (auto* request = dynamic_cast<GroupRequestParam*>(payload)) {
      answer.answered = true;
      answer.succeeded = request->succeeded;
    } else if (auto* result = dynamic_cast<IDeviceDispatcher::ResultParam*>(payload)) {
      answer.answered = true;
      answer.code = result->code;
      answer.message = result->message;
    }
  }

  // The table must be one of the outcomes of the request's store writes on
  // the table before it.
  void CheckStore(const std::vector<StoreUnit>& units, const Answer& answer) {
    std::optional<StoredTree> stored = Read(nullptr);
    if (!stored) return;
    const std::vector<StoredTree> outcomes = expected_.Outcomes(units);
    for (const StoredTree& outcome : outcomes) {
      if (outcome == *stored) {
        expected_ = *stored;
        return;
      }
    }
    // The table as every acknowledged write would leave it, for the report.
    StoredTree acknowledged = expected_;
    bool any_acknowledged = answer.succeeded;
    for (const StoreUnit& unit : units) {
      for (const StoreWrite& write : unit.writes) {
        if (unit.ok && write.ok) {
          acknowledged.Apply(write);
          any_acknowledged = true;
        }
      }
    }
    Problem(any_acknowledged ? FaultProblem::kLostChange : FaultProblem::kPartialBatch,
            "the table is no outcome of the request's transactions: " +
                stored->Difference(acknowledged));
    expected_ = *stored;
  }

  // A change answers success exactly when the store kept all of it, and
  // 5000000 "Internal Server Error" when it did not; validation refusals
  // (4000000) come before any write.
  void CheckAnswer(const std::vector<StoreUnit>& units, const Answer& answer, bool met) {
    const bool store_failed = AnyFailed(units);
    if (!answer.answered) {
      // Only a failed allocation can leave a request without an answer.
      if (!(met && plan_.kind == FaultPlan::Kind::kMemory)) {
        Problem(FaultProblem::kWrongAnswer, "no answer in the event");
      }
      return;
    }
    if (answer.succeeded) {
      if (store_failed) {
        Problem(FaultProblem::kLostChange, "answered success, but the store refused a write");
      }
      return;
    }
    if (answer.code == IDeviceDispatcher::ResultParam::kStoreFailure) {
      if (answer.message != "Internal Server Error") {
        Problem(FaultProblem::kWrongAnswer, "store failure answered as \"" + answer.message + "\"");
      }
      if (!store_failed) {
        Problem(FaultProblem::kWrongAnswer, "store failure answered, but every write was kept");
      }
      return;
    }
    if (answer.code == IDeviceDispatcher::ResultParam::kRefused && !units.empty()) {
      Problem(FaultProblem::kWrongAnswer, "refused after writing to the store");
    } else if (answer.code != IDeviceDispatcher::ResultParam::kRefused) {
      Problem(FaultProblem::kWrongAnswer, "answered code " + std::to_string(answer.code));
    } else if (store_failed) {
      Problem(FaultProblem::kWrongAnswer, "store failure answered as a refusal");
    }
  }

  // A restart without faults loads exactly what the table holds, and the
  // component works.
  void RestartWithoutFaults() {
    life_ = scenario_.size();
    line_ = 0;
    if (!Open()) {
      Problem(FaultProblem::kNotWorking, "no component on restart: " + open_error_);
      return;
    }
    CheckStart();
    std::size_t loaded = 0;
    for (const auto& [id, item] : app_->service()->GetItems()) {
      auto row = expected_.rows.find(id);
      if (row == expected_.rows.end() || row->second.parent != item.ParentText() ||
          row->second.order != item.order || row->second.name != item.name) {
        Problem(FaultProblem::kNotWorking, "the restarted cache disagrees with the table at " + id);
        break;
      }
      ++loaded;
    }
    if (expected_.has_table && loaded != expected_.rows.size()) {
      Problem(FaultProblem::kNotWorking, "the restart loaded " + std::to_string(loaded) + " of " +
                                             std::to_string(expected_.rows.size()) + " rows");
    }
    RunLine(kProbeCreate, true);
    RunLine(kProbeDelete, true);
    Stop();
  }

  void CheckAllocator() {
    life_ = scenario_.size();
    line_ = 0;
    listener_.TakeEvents();
    if (allocator_.LiveBlocks() != 0 || allocator_.BadFrees() != 0) {
      std::string tags;
      for (const auto& [tag, count] : allocator_.LiveBlocksByTag()) {
        tags += " " + tag + " x" + std::to_string(count);
      }
      Problem(FaultProblem::kLeak, std::to_string(allocator_.LiveBlocks()) + " blocks left (" +
                                       tags + " ), " + std::to_string(allocator_.BadFrees()) +
                                       " bad frees");
    }
    // A failed event allocation that threw is reported to the allocator.
    const std::optional<std::string> failed = allocator_.FailedAt();
    if (plan_.kind != FaultPlan::Kind::kMemory || !failed || *failed != "Event") return;
    bool reported = false;
    for (const std::string& text : allocator_.Reports()) reported |= text == kEventReport;
    const bool thrown = plan_.allocation_mode == CountingAllocator::Failure::kThrowException;
    if (reported != thrown) {
      Problem(FaultProblem::kWrongAnswer, std::string("the failed event allocation was ") +
                                              (reported ? "" : "not ") + "reported");
    }
  }

  const Scenario& scenario_;
  const FaultPlan plan_;
  const LineReader& read_;
  FaultVfs& vfs_;
  CountingAllocator allocator_;
  RecordingEventQueue listener_;
  GroupApplication* app_ = nullptr;
  std::unique_ptr<ComponentDriver> driver_;
  std::shared_ptr<RecordingRepository> recorder_;
  // The table as the last check found it.
  StoredTree expected_;
  std::string open_error_;
  FaultRunReport report_;
  std::size_t life_ = 0;
  std::size_t line_ = 0;
};

}  // namespace

const char* FaultProblemName(FaultProblem problem) {
  switch (problem) {
    case FaultProblem::kLeak:
      return "leaks";
    case FaultProblem::kIntegrity:
      return "integrity failures";
    case FaultProblem::kLostChange:
      return "lost acknowledged changes";
    case FaultProblem::kPartialBatch:
      return "partial batches";
    case FaultProblem::kWrongAnswer:
      return "wrong answers";
    case FaultProblem::kNotWorking:
      return "not working after the fault";
    case FaultProblem::kCount:
      break;
  }
  return "?";
}

FaultRunReport RunWithFault(const Scenario& scenario, const FaultPlan& plan,
                            const LineReader& read) {
  const std::string what =
      plan.kind == FaultPlan::Kind::kIo
          ? std::string(IoCallName(plan.io.kind)) + " #" + std::to_string(plan.io.nth)
      : plan.kind == FaultPlan::Kind::kMemory ? "allocation #" + std::to_string(plan.allocation)
                                              : std::string("no fault");
  Watchdog watchdog(what);
  return FaultRun(scenario, plan, read).Run();
}

}  // namespace pga
