#include "group/retry_thread.h"

#include <utility>

#include "store/backoff.h"

namespace pga {

void RetryThread::Start(std::function<bool()> attempt) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (stopping_) return;
  if (running_) {
    again_ = true;
    return;
  }
  // A thread that ended its loop only returns: joining it waits for nothing
  // that the caller may hold.
  if (thread_.joinable()) thread_.join();
  attempt_ = std::move(attempt);
  running_ = true;
  again_ = false;
  thread_ = std::thread(&RetryThread::Run, this);
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
