#include "runtime/thread_component.h"

#include <pthread.h>

#include <string>
#include <system_error>

#include "runtime/log.h"

namespace pga {

ThreadComponent::ThreadComponent(unsigned long long type_code, const char* class_name)
    : Component(type_code, class_name) {}

ThreadComponent::~ThreadComponent() {
  // Destroying a joinable std::thread ends the process. From the worker
  // itself a join would deadlock, so the thread is let go instead.
  if (!worker.joinable()) return;
  if (worker.get_id() == std::this_thread::get_id()) {
    worker.detach();
  } else {
    worker.join();
  }
}

bool ThreadComponent::Initialize() {
  Component::Initialize();
  return true;
}

bool ThreadComponent::Finalize() {
  const bool result = Component::Finalize();
  // A worker that was still in Run() may have set its own state after the
  // line above; once it is joined the finalized state stands.
  if (JoinWorker() && result) SetState(kStateFinalized);
  return result;
}

void ThreadComponent::NoOperation() { Component::NoOperation(); }

void ThreadComponent::SetSequenceParent(Event* event) {
  std::lock_guard<std::mutex> lock(sendLock);
  Component::SetSequenceParent(event);
}

bool ThreadComponent::SendEvent(Event* event) {
  std::lock_guard<std::mutex> lock(sendLock);
  return ComponentPart::SendEvent(event);
}

void ThreadComponent::Run() {
  Component::Run();
  Log(GetName(), "Run()", "", "").Print();
}

void ThreadComponent::RegisterEventTypeNames() { Component::RegisterEventTypeNames(); }

bool ThreadComponent::Initialize(Event* event) { return Component::Initialize(event); }

void ThreadComponent::Start(Event* event) { Component::Start(event); }

void ThreadComponent::Start() {
  Log(GetName(), "ThreadComponent::start", "", "").Print();
  Component::Start();
  JoinWorker();
  // The worker waits at the gate until `worker` holds its handle, so that a
  // Run() that stops its own component sees itself as the worker.
  std::unique_lock<std::mutex> gate(startGate);
  worker = std::thread([this] {
    { std::lock_guard<std::mutex> opened(startGate); }
    Run();
  });
  // Named for debuggers after the component, cut to what the platform keeps.
  const std::string thread_name = std::string(GetName()).substr(0, kMaxThreadNameLength);
  pthread_setname_np(worker.native_handle(), thread_name.c_str());
}

void ThreadComponent::Stop() {
  Log(GetName(), "ThreadComponent::stop", "", "").Print();
  Component::Stop();
  // A worker that was still in Run() may have set its own state after the
  // line above; once it is joined the stopped state stands.
  if (JoinWorker()) Component::Stop();
}

bool ThreadComponent::JoinWorker() {
  if (!worker.joinable()) return false;
  if (worker.get_id() == std::this_thread::get_id()) {
    throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
  }
  worker.join();
  worker = std::thread();
  return true;
}

}  // namespace pga
