// BenchApp: one group component in the current directory, driven the way a
// host drives it, for the benchmarks.
#ifndef PGA_BENCH_BENCH_APP_H_
#define PGA_BENCH_BENCH_APP_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "doubles/component_driver.h"
#include "doubles/recording_event_queue.h"
#include "group/group_application.h"
#include "runtime/event.h"
#include "runtime/object_allocator.h"

namespace pga {

// The host's allocator reduced to malloc and free: the benchmarks measure
// the component, not the bookkeeping of a test double.
class MallocAllocator : public ObjectAllocator {
 public:
  void* MallocSafe(std::size_t size, const char* tag) override;
  void Free(void* block) override;
  void ReportFailure(const char* text) override;
};

// Installs its allocator while it lives (one BenchApp at a time). The
// component opens "group.db" in the current directory.
class BenchApp {
 public:
  BenchApp();
  BenchApp(const BenchApp&) = delete;
  BenchApp& operator=(const BenchApp&) = delete;
  // Stops and destroys the component if it is open.
  ~BenchApp();

  // Creates the component, allocates it, associates the recording
  // "DeviceListener" and initializes it; Start() is left to the caller.
  void Create();
  // Sends the start event: the component loads the stored tree.
  void Start();
  // Create() and Start().
  void Open();
  // Stops, finalizes and destroys the component; drops the notifications.
  void Close();

  // Delivers an event of `type` with `payload` (owned by the event, may be
  // null) and hands the event back with the component's answer in it.
  std::unique_ptr<Event> Deliver(std::uint32_t type, BaseObject* payload);
  // Forgets the notifications received so far; returns how many there were.
  std::size_t DropNotifications();

  GroupApplication& app() { return *app_; }

 private:
  MallocAllocator allocator_;
  RecordingEventQueue listener_;
  GroupApplication* app_ = nullptr;
  std::unique_ptr<ComponentDriver> driver_;
};

}  // namespace pga

#endif  // PGA_BENCH_BENCH_APP_H_
