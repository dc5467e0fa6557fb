// example_host: a small host of the group plug-in. It loads the plug-in,
// associates its own queue as the component's "DeviceListener", creates a
// group, prints the notifications it receives, stops the component and lets
// the listener depart.
// Usage: example_host [PLUGIN]; group.db is kept in the current directory.
// Every name of the library's runtime lives in namespace pga.
// Exits 0 when the group was created, notifications arrived and every block
// the runtime allocated was given back.
#include <dlfcn.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "group/group_event_type.h"
#include "group/group_request_param.h"
#include "plugin/group_plugin.h"
#include "records/i_device_listener.h"
#include "runtime/component_part.h"
#include "runtime/event_queue.h"
#include "runtime/manifest_instance_description.h"
#include "runtime/param_associate_a_receiver.h"

// The host's memory service, counting the blocks it hands out.
class HeapAllocator : public pga::ObjectAllocator {
 public:
  void* MallocSafe(std::size_t size, const char* /*tag*/) override {
    void* block = std::malloc(size);
    if (block != nullptr) ++live;
    return block;
  }
  void Free(void* block) override {
    if (block != nullptr) --live;
    std::free(block);
  }
  void ReportFailure(const char* text) override { std::fprintf(stderr, "failed: %s\n", text); }
  std::atomic<long> live{0};  // blocks not yet given back
};

// The queue behind "DeviceListener"; the host owns what it takes.
class ListenerQueue : public pga::EventQueue {
 public:
  bool PutUnordered(pga::Event* event) override { return PutOrdered(event); }
  bool PutOrdered(pga::Event* event) override {
    std::lock_guard<std::mutex> lock(mutex);
    events.emplace_back(event);
    return true;
  }
  std::mutex mutex;
  std::vector<std::unique_ptr<pga::Event>> events;
};

// The departing listener as de-association events name it (by address, in
// their arguments): a component part with the UId it was associated under.
class DepartingPart : public pga::ComponentPart {
 public:
  explicit DepartingPart(const pga::UId& uid)
      : pga::ComponentPart(1002000, "DeviceListener"), uid_(uid) {
    SetUIdPtr(&uid_);
  }

 private:
  pga::UId uid_;
};

// A new event from the host to the component, with the component's answer
// left in it.
std::unique_ptr<pga::Event> Deliver(pga::Component& component, std::uint32_t type,
                                    long long arguments = 0, pga::BaseObject* payload = nullptr,
                                    const pga::BlobValue* text = nullptr) {
  std::unique_ptr<pga::Event> event(
      pga::Event::Create(pga::UId(1, 0), component.GetUId(), type, arguments, payload));
  if (event == nullptr) throw std::runtime_error("no storage for an event");
  if (text != nullptr) {  // JSON text as the payload; the event owns it from now on
    event->MutableBlob().SetValue(text->value, pga::kBlobJson);
    event->MutableBlob().SetSize(text->size);
  }
  component.ProcessAEvent(event.get());
  event->SetReplyFlag(1);
  return event;
}

int Drive(pga::Component& component, ListenerQueue& listener) {
  component.SetState(pga::kStateAllocated);
  pga::ComponentInterface::ManifestInstanceDescription description;
  description.instanceName = "GroupApplication";
  description.defaultFilePrefix = description.attributeFilePrefix = "./";
  description.index = 0;
  component.SetInstanceDescription(description);
  component.PrepareAttributes();
  const pga::UId listener_uid(
      2, reinterpret_cast<std::uintptr_t>(static_cast<pga::EventQueue*>(&listener)));
  pga::BlobValue association;
  pga::ComponentInterface::ParamAssociateAReceiver("DeviceListener", listener_uid)
      .Serialize(association);
  Deliver(component, pga::eAssociateAReceiver, 0, nullptr, &association);
  for (std::uint32_t type : {pga::eInitialize, pga::eStart, pga::eRun}) Deliver(component, type);

  auto* request = new ("GroupRequestParam") pga::GroupRequestParam();
  if (request == nullptr) throw std::runtime_error("no storage for the request");
  auto group = std::make_shared<pga::GroupModel>();
  group->groupId = "lobby";
  group->groupName = "Lobby";
  request->payload = group;
  std::unique_ptr<pga::Event> reply = Deliver(component, pga::eCreateLogicalGroup, 0, request);
  const auto* answer = dynamic_cast<pga::GroupRequestParam*>(reply->GetObjectArgument());
  const bool created = answer != nullptr && answer->succeeded;
  std::printf("create group \"lobby\": %s\n", created ? "succeeded" : "failed");
  std::size_t notifications = 0;
  for (const std::unique_ptr<pga::Event>& event : listener.events) {
    if (auto* note = dynamic_cast<pga::IDeviceListener::EventParam*>(event->GetObjectArgument())) {
      std::printf("notification: %s\n", note->ToJsonText().c_str());
      ++notifications;
    }
  }
  for (std::uint32_t type : {pga::eStop, pga::eFinalize}) Deliver(component, type);
  DepartingPart departing(listener_uid);
  const auto address = static_cast<long long>(reinterpret_cast<std::uintptr_t>(&departing));
  for (std::uint32_t type : {pga::eDeAssociateAReceiver, pga::eDeAssociateATarget}) {
    Deliver(component, type, address);
  }
  return created && notifications > 0 ? 0 : 1;
}

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : PGA_PLUGIN;
  HeapAllocator allocator;
  pga::InstallAllocator(&allocator);  // for the host's own copy of the runtime
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  auto create = reinterpret_cast<pga::CreateComponentFunction>(
      library != nullptr ? dlsym(library, "create_component") : nullptr);
  auto destroy = reinterpret_cast<pga::DestroyComponentFunction>(
      library != nullptr ? dlsym(library, "destroy_component") : nullptr);
  pga::Component* component =
      create != nullptr && destroy != nullptr ? create(&allocator) : nullptr;
  if (component == nullptr) {
    std::fprintf(stderr, "example_host: no component from %s\n", path);
    return 2;
  }
  ListenerQueue listener;
  int status = 1;
  try {
    status = Drive(*component, listener);
  } catch (const pga::Exception& e) {
    std::fprintf(stderr, "example_host: %s\n", e.GetMessage());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "example_host: %s\n", e.what());
  }
  destroy(component);
  listener.events.clear();
  if (allocator.live != 0)
    std::fprintf(stderr, "%ld blocks not given back\n", allocator.live.load());
  dlclose(library);
  return allocator.live == 0 ? status : 1;
}
