// RetryThread: tries one thing again and again, on a thread of its own,
// until it works.
#ifndef PGA_GROUP_RETRY_THREAD_H_
#define PGA_GROUP_RETRY_THREAD_H_

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace pga {

// Calls an attempt `first` after Start(), and again while it answers false,
// each time after twice the pause before, up to `longest`; the thread ends
// when it answers true. Work that waits for something outside the process
// (a lock another program keeps) is so done once that is over, without an
// event to carry it.
class RetryThread {
 public:
  RetryThread(std::chrono::milliseconds first, std::chrono::milliseconds longest)
      : first_(first), longest_(longest) {}
  RetryThread(const RetryThread&) = delete;
  RetryThread& operator=(const RetryThread&) = delete;
  // Stops the thread.
  ~RetryThread() { Stop(); }

  // Starts the thread on `attempt`. While it runs already, its attempt is
  // made once more after the current one (and `attempt` is not taken):
  // what the current one found done may have new work since. Does nothing
  // while Stop() runs. Never waits for the attempt. False when no thread
  // could be made (the system's limit of threads or memory): the caller's
  // work then waits for whatever else would do it.
  bool Start(std::function<bool()> attempt);
  // Ends the thread and returns once the attempt no longer runs. The caller
  // must not hold anything that the attempt waits for.
  void Stop();

 private:
  void Run();

  const std::chrono::milliseconds first_;
  const std::chrono::milliseconds longest_;
  std::mutex mutex_;
  std::condition_variable stopped_;
  std::function<bool()> attempt_;
  std::thread thread_;
  // Guarded by mutex_: the thread has not ended its loop yet; an attempt
  // is owed after the current one; Stop() runs.
  bool running_ = false;
  bool again_ = false;
  bool stopping_ = false;
};

}  // namespace pga

#endif  // PGA_GROUP_RETRY_THREAD_H_
