// ThreadComponent: a component with a worker thread of its own, started by
// Start(), running Run() once, and joined by Stop() or Finalize(); and a
// mutex that makes sending events and setting the sequence parent mutually
// exclusive within the component.
#ifndef PGA_RUNTIME_THREAD_COMPONENT_H_
#define PGA_RUNTIME_THREAD_COMPONENT_H_

#include <mutex>
#include <thread>

#include "runtime/component.h"
#include "runtime/event.h"

namespace pga {

class ThreadComponent : public Component {
 public:
  // No worker thread yet.
  ThreadComponent(unsigned long long type_code, const char* class_name);
  // Joins a worker that is still joinable (Stop() or Finalize() normally did
  // that already). A derived component must stop its worker before its own
  // destructor runs: the worker calls the virtual Run().
  ~ThreadComponent() override;

  // Calls Component::Initialize() and answers true whatever it answered.
  bool Initialize() override;
  // Calls Component::Finalize(), then joins a joinable worker; answers what
  // Component::Finalize() answered. Throws std::system_error
  // (resource_deadlock_would_occur) when called on the worker itself.
  bool Finalize() override;
  void NoOperation() override;
  // Component::SetSequenceParent under sendLock.
  void SetSequenceParent(Event* event) override;
  // ComponentPart::SendEvent under sendLock, so that sends from several
  // threads run one after the other.
  bool SendEvent(Event* event) override;
  // Runs on the worker: Component::Run() (state kStateRunning), then prints
  // the "Run()" log line.
  void Run() override;
  void RegisterEventTypeNames() override;
  bool Initialize(Event* event) override;
  void Start(Event* event) override;
  // Prints the "ThreadComponent::start" log line, sets kStateStarted and
  // starts the worker on the virtual Run(), named after the component. A
  // worker of an earlier start that is still joinable is joined first.
  // Throws std::system_error when no thread can be created.
  void Start() override;
  // Prints the "ThreadComponent::stop" log line, sets kStateStopped and joins
  // a joinable worker. Throws std::system_error (resource_deadlock_would_occur)
  // when called on the worker itself.
  void Stop() override;

  // Longest thread name the platform keeps (without the terminating zero).
  static constexpr int kMaxThreadNameLength = 15;

 protected:
  // Joins `worker` when joinable, refusing to join from the worker itself
  // (std::system_error resource_deadlock_would_occur). Returns whether a
  // worker was joined. A derived component calls it first thing in its
  // destructor, while its own Run() can still be dispatched to.
  bool JoinWorker();

 private:

  std::thread worker;
  std::mutex sendLock;
  // Held by Start() until `worker` is set; the new worker passes it first.
  std::mutex startGate;
};

}  // namespace pga

#endif  // PGA_RUNTIME_THREAD_COMPONENT_H_
