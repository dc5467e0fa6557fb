// Feeds arbitrary script text, line by line, through the reference host's
// script reading into a live group component on a temporary database, and
// writes every answer and notification as the host does: no crash, no leak.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "doubles/component_driver.h"
#include "doubles/recording_event_queue.h"
#include "fuzz/fuzz_support.h"
#include "group/group_application.h"
#include "host/delivery_outcome.h"
#include "host/reply_writer.h"
#include "host/script_command.h"
#include "runtime/exception.h"
#include "store/group_service.h"
#include "store/sqlite_group_repository.h"

namespace pga {

namespace {

constexpr int kRunsPerComponent = 2000;
constexpr int kMaxLinesPerInput = 32;

// One started component on a fresh database; replaced every
// kRunsPerComponent inputs so that the store does not grow without end.
class LiveComponent {
 public:
  LiveComponent() {
    // A memory-backed folder keeps the database's syncs cheap.
    const char* base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/pga_fuzz_script_XXXXXX";
    fuzz::Check(mkdtemp(pattern.data()) != nullptr, "no temporary folder");
    folder_ = pattern;
    // The database is named by its full path: the fuzzer reads its corpus
    // through relative paths, so the current directory stays as it is.
    auto repository = std::make_shared<SqliteGroupRepository>(folder_ + "/group.db", 60);
    component_ = new ("GroupApplication") GroupApplication(
        [&repository] { return std::make_shared<GroupService>(std::move(repository)); });
    fuzz::Check(component_ != nullptr, "no component");
    driver_ = std::make_unique<ComponentDriver>(*component_);
    driver_->Allocate();
    driver_->AssociateReceiver("DeviceListener", listener_, 2);
    driver_->Begin();
  }
  ~LiveComponent() {
    try {
      driver_->End();
    } catch (...) {
    }
    driver_.reset();
    delete component_;
    listener_.TakeEvents();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // Delivers `command` and writes what came back.
  void Run(ScriptCommand command, ReplyWriter& writer) {
    DeliveryOutcome outcome;
    outcome.event =
        driver_->MakeEvent(command.event_type, command.arguments, command.payload.release());
    if (outcome.event != nullptr) {
      try {
        outcome.handled = driver_->Deliver(*outcome.event);
      } catch (const Exception& e) {
        outcome.failure = DeliveryOutcome::Failure{e.GetType(), e.GetMessage()};
      } catch (const std::exception& e) {
        outcome.failure = DeliveryOutcome::Failure{-1, e.what()};
      }
    }
    for (const auto& notification : listener_.TakeEvents()) writer.WriteNotification(*notification);
    writer.WriteReply(command.request, command.event_type, outcome);
  }

 private:
  std::string folder_;
  RecordingEventQueue listener_;
  GroupApplication* component_ = nullptr;
  std::unique_ptr<ComponentDriver> driver_;
};

}  // namespace

}  // namespace pga

using namespace pga;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CountingAllocator& allocator = fuzz::Allocator();
  static int runs = 0;
  static std::unique_ptr<LiveComponent> live;
  if (runs++ % kRunsPerComponent == 0) {
    if (runs == 1) {
      // The component's diagnostics are not what is tested here.
      fuzz::Check(std::freopen("/dev/null", "w", stdout) != nullptr, "no /dev/null");
    }
    live.reset();
    fuzz::Check(allocator.LiveBlocks() == 0, "a component's storage leaked");
    live = std::make_unique<LiveComponent>();
  }

  std::string written;
  ReplyWriter writer([&written](const std::string& line) { written += line + "\n"; });
  std::istringstream script(std::string(reinterpret_cast<const char*>(data), size));
  std::string line;
  for (int number = 1; number <= kMaxLinesPerInput && std::getline(script, line); ++number) {
    ParsedLine parsed = ParseScriptCommand(line);
    if (parsed.kind == ParsedLine::Kind::kError) writer.WriteLineError(number, parsed.error);
    if (parsed.kind == ParsedLine::Kind::kCommand) live->Run(std::move(parsed.command), writer);
  }
  fuzz::Check(allocator.BadFrees() == 0, "runtime storage freed twice");
  return 0;
}
