#include "runtime/thread_component.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "doubles/recording_event_queue.h"
#include "runtime/allocator_test_fixture.h"

namespace pga {

namespace {

void Nap() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

// A thread component whose Run() waits while it is held, and that records
// the name of the thread it ran on. Every test waits for Run() to end before
// the object goes, since Run() dispatches through it.
class Worker : public ThreadComponent {
 public:
  explicit Worker(const char* name = "GroupApplication") : ThreadComponent(25067000, name) {}
  void Run() override {
    while (held) Nap();
    char name[32] = {0};
    pthread_getname_np(pthread_self(), name, sizeof(name));
    thread_name = name;
    ThreadComponent::Run();
    run_ended = true;
  }
  void WaitUntilRunEnded() const {
    while (!run_ended) Nap();
  }

  std::atomic<bool> held{false};
  std::atomic<bool> run_ended{false};
  std::string thread_name;  // read once run_ended is seen
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

TEST_F(ThreadComponentTest, StartRunsRunOnceOnANamedWorkerAndStopFinalizeOrTheEndJoinIt) {
  std::string name;
  testing::internal::CaptureStdout();
  {
    Worker worker("A-component-name-of-forty-characters-xyz");
    name = worker.GetName();
    worker.held = true;
    worker.Start();
    EXPECT_EQ(worker.GetState(), kStateStarted);
    worker.held = false;
    worker.WaitUntilRunEnded();
    EXPECT_EQ(worker.GetState(), kStateRunning);
    worker.Stop();
    EXPECT_EQ(worker.GetState(), kStateStopped);
    EXPECT_EQ(worker.thread_name, "A-component-nam");

    Worker unstopped;
    unstopped.Start();
    unstopped.WaitUntilRunEnded();
    EXPECT_TRUE(unstopped.Finalize());  // joins the worker that nobody stopped
    EXPECT_EQ(unstopped.GetState(), kStateFinalized);
    unstopped.Stop();  // nothing left to join
    EXPECT_EQ(unstopped.GetState(), kStateStopped);
    EXPECT_TRUE(unstopped.Finalize());

    Worker finished;
    finished.Start();
    finished.WaitUntilRunEnded();
    finished.run_ended = false;
    finished.Start();  // joins the finished but joinable worker first
    finished.WaitUntilRunEnded();
    EXPECT_TRUE(finished.Initialize());
  }  // destroyed with a joinable worker: joined, not a terminated process
  const std::vector<std::string> lines = LogLines(testing::internal::GetCapturedStdout());
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3),
            (std::vector<std::string>{name + "::ThreadComponent::start Empty,  Empty, ",
                                      name + "::Run() Empty,  Empty, ",
                                      name + "::ThreadComponent::stop Empty,  Empty, "}));
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

}  // namespace pga
