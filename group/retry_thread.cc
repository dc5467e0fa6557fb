#include "group/retry_thread.h"

#include <system_error>
#include <utility>

#include "store/backoff.h"

namespace pga {

bool RetryThread::Start(std::function<bool()> attempt) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (stopping_) return true;
  if (running_) {
    again_ = true;
    return true;
  }
  // A thread that ended its loop only returns: joining it waits for nothing
  // that the caller may hold.
  if (thread_.joinable()) thread_.join();
  attempt_ = std::move(attempt);
  again_ = false;
  try {
    thread_ = std::thread(&RetryThread::Run, this);
  } catch (const std::system_error&) {
    return false;
  }
  running_ = true;
  return true;
}

void RetryThread::Stop() {
  std::thread ending;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    ending = std::move(thread_);
  }
  stopped_.notify_all();
  // Outside the mutex: the attempt may be waiting for a caller of Start().
  if (ending.joinable()) ending.join();
  std::lock_guard<std::mutex> lock(mutex_);
  stopping_ = false;
  running_ = false;
}

void RetryThread::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  Backoff backoff(first_, longest_);
  // The first attempt waits the first pause as well.
  backoff.Failed();
  while (!stopped_.wait_for(lock, backoff.Remaining(), [this] { return stopping_; })) {
    again_ = false;
    lock.unlock();
    const bool done = attempt_();
    lock.lock();
    if (done && !again_) break;
    // Work that came meanwhile starts over at the first pause.
    if (done) backoff.Succeeded();
    backoff.Failed();
  }
  running_ = false;
}

}  // namespace pga
