#include "runtime/component_part.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/event_queue.h"
#include "runtime/failure_report.h"

namespace pga {

using Platform_Std_Refine::String;

namespace {

constexpr char kSendEventSignature[] = "bool __cdecl ComponentPart::SendEvent(class Event *)";
constexpr char kAsteriskLine[] = "***********************************";

// "IDeviceListener::EventParam" for the mangled name of that class.
std::string ClassName(const std::type_info& type) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  std::string result = (status == 0 && demangled != nullptr) ? demangled : type.name();
  std::free(demangled);
  // The library's own namespace is not part of the names that failure lines
  // print: hosts match those lines by the bare class names.
  const std::string own_namespace = "pga::";
  for (std::size_t at = result.find(own_namespace); at != std::string::npos;
       at = result.find(own_namespace, at)) {
    result.erase(at, own_namespace.size());
  }
  return result;
}

void PrintSendFailure(int line, const Event& event, const char* message) {
  failure_report::PrintHandlerFailure(kSendEventSignature, line, &event, message);
}

}  // namespace

ComponentPart::ComponentPart(unsigned long long type_code, const char* part_name)
    : BaseObject(type_code, part_name),
      ownUId(nullptr),
      state(kStateConstructed),
      event_receivers(nullptr),
      event_targets(nullptr),
      sequenceParent(nullptr),
      monitorFlag1(false),
      monitorFlag2(false) {}

ComponentPart::~ComponentPart() = default;

void ComponentPart::NoOperation() {}

int ComponentPart::GetState() const { return state.load(); }

void ComponentPart::SetState(int code) { state.store(code); }

void ComponentPart::SetSequenceParent(Event* event) { sequenceParent = event; }

bool ComponentPart::SendEvent(Event* event) {
  if (event == nullptr) return false;
  try {
    auto* queue = reinterpret_cast<EventQueue*>(
        static_cast<std::uintptr_t>(event->GetTargetUId().event_queue_ptr));
    if (queue == nullptr) {
      const std::string text = std::string(event->GetTargetUId().GetName()) + " " +
                               std::to_string(static_cast<int>(event->GetEventType())) +
                               " Event <- EventQueue is not allocated";
      std::printf("Exception : %s\n", text.c_str());
      return false;
    }
    event->SetSequenceParent(sequenceParent);
    if (event->GetSyncType() == 0 && sequenceParent != nullptr) {
      if (!event->IsSequenceExempt()) sequenceParent->IncrementChildrenCount();
      if (event->GetReplyType() == Event::kNoReplyType) {
        event->SetReplyType(sequenceParent->GetEventType());
      }
    }
    return event->GetSendOrder() != 0 ? queue->PutOrdered(event) : queue->PutUnordered(event);
  } catch (const Exception& e) {
    PrintSendFailure(143, *event, e.GetMessage());
  } catch (const std::exception& e) {
    PrintSendFailure(146, *event, e.what());
  } catch (...) {
    PrintSendFailure(149, *event, nullptr);
  }
  return false;
}

bool ComponentPart::ProcessAEvent(Event* /*event*/) { return false; }

UId ComponentPart::GetUId() const { return ownUId != nullptr ? *ownUId : UId(); }

UId ComponentPart::LookupReceiver(const String& receiver_name) {
  if (event_receivers == nullptr) {
    std::printf("%s\n%s\n%s\n", kAsteriskLine, "event_receivers is null", kAsteriskLine);
    const std::string text = "Receiver(" + receiver_name.str() + ") cannot be Associated";
    std::printf("Exception : %s\n", text.c_str());
    return UId(0, 0);
  }
  auto found = event_receivers->find(receiver_name);
  if (found != event_receivers->end()) return found->second;
  std::printf("%s\n", kAsteriskLine);
  std::printf("Could not find receiver : %s @ %s.\n", receiver_name.c_str(), GetName());
  std::printf("Valid Event Receivers is bellow.\n");
  for (const auto& entry : *event_receivers) std::printf("%s\n", entry.first.c_str());
  std::printf("%s\n", kAsteriskLine);
  const std::string text = "Receiver(" + receiver_name.str() + ") is not Associated";
  std::printf("Exception : %s\n", text.c_str());
  return UId(0, 0);
}

void ComponentPart::ReportSendNoReplyFailure(const std::type_info& payload_type,
                                             const char* message) {
  const std::string type_name = ClassName(payload_type);
  std::fprintf(stderr,
               "bool __cdecl ComponentPart::SendNoReplyEvent<class %s>(const class "
               "Platform_Std_Refine::String &,int,__int64,class %s *)%s\n",
               type_name.c_str(), type_name.c_str(), message);
}

}  // namespace pga
