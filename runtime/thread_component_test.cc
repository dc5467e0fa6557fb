#include "runtime/thread_component.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "host/recording_event_queue.h"
#include "runtime/allocator_test_fixture.h"

namespace {

// A thread component whose Run() can be held until the test releases it, and
// that records the name of the thread it ran on.
class Worker : public ThreadComponent {
 public:
  explicit Worker(const char* name = "GroupApplication") : ThreadComponent(25067000, name) {}
  // Run() itself must not outlive this object; every test stops or
  // finalizes before destruction, and the destructor below joins.
  ~Worker() override { Release(); }

  void Hold() { held_ = true; }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = false;
    released_.notify_all();
  }
  std::string ThreadName() {
    std::lock_guard<std::mutex> lock(mutex_);
    return thread_name_;
  }
  // Waits until Run() has returned (its log line printed).
  void WaitUntilRunEnded() {
    std::unique_lock<std::mutex> lock(mutex_);
    released_.wait(lock, [this] { return run_ended_; });
  }

  void Run() override {
    std::unique_lock<std::mutex> lock(mutex_);
    released_.wait(lock, [this] { return !held_; });
    char name[32] = {0};
    pthread_getname_np(pthread_self(), name, sizeof(name));
    thread_name_ = name;
    lock.unlock();
    ThreadComponent::Run();
    std::lock_guard<std::mutex> relock(mutex_);
    run_ended_ = true;
    released_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool held_ = false;
  bool run_ended_ = false;
  std::string thread_name_;
};

using ThreadComponentTest = AllocatorTest;

// The printed log lines without their time stamps.
std::vector<std::string> LogLines(const std::string& printed) {
  std::vector<std::string> lines;
  const std::regex line("\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\] ([^\n]*)\n");
  for (std::sregex_iterator it(printed.begin(), printed.end(), line), end; it != end; ++it) {
    lines.push_back((*it)[1]);
  }
  return lines;
}

TEST_F(ThreadComponentTest, StartRunsRunOnceOnANamedWorkerAndStopJoinsIt) {
  Worker worker("A-component-name-of-forty-characters-xyz");
  worker.Hold();
  testing::internal::CaptureStdout();
  worker.Start();
  EXPECT_EQ(worker.GetState(), kStateStarted);
  worker.Release();
  worker.WaitUntilRunEnded();
  EXPECT_EQ(worker.GetState(), kStateRunning);
  worker.Stop();
  const std::vector<std::string> lines = LogLines(testing::internal::GetCapturedStdout());
  EXPECT_EQ(worker.GetState(), kStateStopped);
  EXPECT_EQ(worker.ThreadName(), "A-component-nam");
  const std::string name = worker.GetName();
  EXPECT_EQ(lines, (std::vector<std::string>{name + "::ThreadComponent::start Empty,  Empty, ",
                                             name + "::Run() Empty,  Empty, ",
                                             name + "::ThreadComponent::stop Empty,  Empty, "}));
}

TEST_F(ThreadComponentTest, RunEndsInTheRunningStateAndFinalizeJoinsWithoutStop) {
  Worker worker;
  testing::internal::CaptureStdout();
  worker.Start();
  worker.WaitUntilRunEnded();
  EXPECT_TRUE(worker.Finalize());  // joins the worker that nobody stopped
  EXPECT_EQ(worker.GetState(), kStateFinalized);
  worker.Stop();  // nothing left to join
  EXPECT_TRUE(worker.Finalize());
  testing::internal::GetCapturedStdout();

  Worker finished;
  testing::internal::CaptureStdout();
  finished.Start();
  finished.WaitUntilRunEnded();
  // Starting again while the finished worker is still joinable joins it first.
  finished.Start();
  finished.Stop();
  const std::vector<std::string> lines = LogLines(testing::internal::GetCapturedStdout());
  EXPECT_EQ(lines.size(), 5u);
  EXPECT_TRUE(finished.Initialize());
}

TEST_F(ThreadComponentTest, StopWithoutStartAndDestructionWhileJoinableAreOrderly) {
  Worker never_started;
  testing::internal::CaptureStdout();
  never_started.Stop();
  EXPECT_EQ(LogLines(testing::internal::GetCapturedStdout()).size(), 1u);
  EXPECT_EQ(never_started.GetState(), kStateStopped);

  testing::internal::CaptureStdout();
  {
    Worker abandoned;
    abandoned.Start();
    // Run() dispatches through the object, so it must be over before the
    // object goes; the worker is then finished but still joinable.
    abandoned.WaitUntilRunEnded();
  }  // destroyed with a joinable worker: joined, not a terminated process
  testing::internal::GetCapturedStdout();
}

TEST_F(ThreadComponentTest, SendsFromTwoThreadsRunOneAfterTheOther) {
  RecordingEventQueue queue;
  queue.SetPutDelay(std::chrono::milliseconds(2));
  Worker sender;
  const UId target(5, queue.Address());
  constexpr int kPerThread = 20;
  auto send_many = [&] {
    for (int i = 0; i < kPerThread; ++i) {
      Event* event = Event::Create(sender.GetUId(), target, 1, i);
      if (!sender.SendEvent(event)) delete event;
    }
  };
  std::thread first(send_many);
  std::thread second(send_many);
  Event parent;
  for (int i = 0; i < kPerThread; ++i) sender.SetSequenceParent(i % 2 == 0 ? &parent : nullptr);
  first.join();
  second.join();
  EXPECT_EQ(queue.size(), 2u * kPerThread);
  EXPECT_EQ(queue.MaxConcurrentPuts(), 1);
}

}  // namespace
