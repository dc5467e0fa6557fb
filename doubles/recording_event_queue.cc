#include "doubles/recording_event_queue.h"

#include <stdexcept>
#include <thread>

#include "runtime/exception.h"

namespace pga {

RecordingEventQueue::~RecordingEventQueue() {
  for (const Entry& entry : entries_) delete entry.event;
}

bool RecordingEventQueue::PutUnordered(Event* event) { return Put(event, false); }

bool RecordingEventQueue::PutOrdered(Event* event) { return Put(event, true); }

bool RecordingEventQueue::Put(Event* event, bool ordered) {
  ++put_calls_;
  if (on_put_ && event != nullptr) on_put_(*event);
  const int running = ++in_put_;
  int seen = max_concurrent_.load();
  while (running > seen && !max_concurrent_.compare_exchange_weak(seen, running)) {
  }
  const std::chrono::microseconds delay = delay_.load();
  if (delay.count() > 0) std::this_thread::sleep_for(delay);
  --in_put_;
  switch (mode_.load()) {
    case Mode::kRefuse:
      return false;
    case Mode::kThrowException:
      throw Exception(-9, "RecordingEventQueue", "Put", "queue is closed");
    case Mode::kThrowStandard:
      throw std::runtime_error("queue is full");
    case Mode::kThrowOther:
      throw 42;
    case Mode::kAccept:
      break;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(Entry{event, ordered});
  }
  taken_.notify_all();
  return true;
}

bool RecordingEventQueue::WaitForEvents(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return taken_.wait_for(lock, timeout, [this] { return !entries_.empty(); });
}

std::size_t RecordingEventQueue::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

std::vector<RecordingEventQueue::Entry> RecordingEventQueue::Entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_;
}

std::vector<std::unique_ptr<Event>> RecordingEventQueue::TakeEvents() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::unique_ptr<Event>> events;
  for (const Entry& entry : entries_) events.emplace_back(entry.event);
  entries_.clear();
  return events;
}

}  // namespace pga
