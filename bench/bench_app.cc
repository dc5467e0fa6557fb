#include "bench/bench_app.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "runtime/event_type.h"

namespace pga {

void* MallocAllocator::MallocSafe(std::size_t size, const char*) { return std::malloc(size); }

void MallocAllocator::Free(void* block) { std::free(block); }

void MallocAllocator::ReportFailure(const char* text) { std::fprintf(stderr, "%s\n", text); }

BenchApp::BenchApp() { InstallAllocator(&allocator_); }

BenchApp::~BenchApp() {
  Close();
  InstallAllocator(nullptr);
}

void BenchApp::Create() {
  Close();
  app_ = new ("GroupApplication") GroupApplication();
  if (app_ == nullptr) throw std::runtime_error("no storage for the component");
  driver_ = std::make_unique<ComponentDriver>(*app_);
  driver_->Allocate();
  if (!driver_->AssociateReceiver("DeviceListener", listener_, 77)) {
    throw std::runtime_error("association refused");
  }
  driver_->Send(eInitialize);
}

void BenchApp::Start() { driver_->Send(eStart); }

void BenchApp::Open() {
  Create();
  Start();
  driver_->Send(eRun);
}

void BenchApp::Close() {
  if (app_ == nullptr) return;
  driver_->End();
  driver_.reset();
  delete app_;
  app_ = nullptr;
  DropNotifications();
}

std::unique_ptr<Event> BenchApp::Deliver(std::uint32_t type, BaseObject* payload) {
  std::unique_ptr<Event> event = driver_->MakeEvent(type, 0, payload);
  if (event == nullptr) throw std::runtime_error("no storage for the event");
  driver_->Deliver(*event);
  return event;
}

std::size_t BenchApp::DropNotifications() { return listener_.TakeEvents().size(); }

}  // namespace pga
