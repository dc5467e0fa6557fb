// RecordingEventQueue: a test double of the host's EventQueue. It keeps the
// events it takes (and owns them), and can be told to refuse or to throw.
#ifndef PGA_DOUBLES_RECORDING_EVENT_QUEUE_H_
#define PGA_DOUBLES_RECORDING_EVENT_QUEUE_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "runtime/event.h"
#include "runtime/event_queue.h"

namespace pga {

class RecordingEventQueue : public EventQueue {
 public:
  // What a put does.
  enum class Mode {
    kAccept,          // keep the event, answer true
    kRefuse,          // answer false; the caller keeps the event
    kThrowException,  // throw the runtime's Exception; the caller keeps it
    kThrowStandard,   // throw std::runtime_error
    kThrowOther,      // throw an int
  };

  // One event taken, with the put that took it.
  struct Entry {
    Event* event;  // owned by the queue
    bool ordered;  // PutOrdered (true) or PutUnordered (false)
  };

  RecordingEventQueue() = default;
  // Deletes every event still held.
  ~RecordingEventQueue() override;

  bool PutUnordered(Event* event) override;
  bool PutOrdered(Event* event) override;

  void SetMode(Mode mode) { mode_.store(mode); }
  // Makes every put wait this long before answering, so that overlapping
  // puts from several threads become visible.
  void SetPutDelay(std::chrono::microseconds delay) { delay_.store(delay); }
  // Calls `look` with every event put, on the putting thread, before the
  // put answers: a test sees the state the sender was in when it sent.
  // Set it while no put runs.
  void SetOnPut(std::function<void(const Event&)> look) { on_put_ = std::move(look); }

  // The value to put into a UId's event_queue_ptr for this queue.
  unsigned long long Address() {
    return static_cast<unsigned long long>(
        reinterpret_cast<std::uintptr_t>(static_cast<EventQueue*>(this)));
  }

  std::size_t size() const;
  // The entries taken so far; the queue keeps ownership of the events.
  std::vector<Entry> Entries() const;
  // Hands every held event to the caller and forgets them.
  std::vector<std::unique_ptr<Event>> TakeEvents();
  // Waits until the queue holds an event or `timeout` has passed; true when
  // it holds one.
  bool WaitForEvents(std::chrono::milliseconds timeout) const;
  // Most puts that ran at the same time.
  int MaxConcurrentPuts() const { return max_concurrent_.load(); }
  // Puts made, taken or not.
  int PutCalls() const { return put_calls_.load(); }

 private:
  bool Put(Event* event, bool ordered);

  mutable std::mutex mutex_;
  mutable std::condition_variable taken_;
  std::vector<Entry> entries_;  // GUARDED_BY(mutex_)
  std::atomic<Mode> mode_{Mode::kAccept};
  std::atomic<std::chrono::microseconds> delay_{std::chrono::microseconds(0)};
  std::atomic<int> in_put_{0};
  std::atomic<int> max_concurrent_{0};
  std::atomic<int> put_calls_{0};
  std::function<void(const Event&)> on_put_;
};

}  // namespace pga

#endif  // PGA_DOUBLES_RECORDING_EVENT_QUEUE_H_
