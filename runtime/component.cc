#include "runtime/component.h"

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

#include "runtime/exception.h"
#include "runtime/failure_report.h"
namespace pga {
namespace {

constexpr char kProcessSignature[] = "bool __cdecl Component::ProcessAEvent(class Event *)";
constexpr char kSequenceSignature[] = "void __cdecl Component::SetSequenceParent(class Event *)";
constexpr char kInitializeSignature[] = "bool __cdecl Component::Initialize(void)";
constexpr char kFinalizeSignature[] = "bool __cdecl Component::Finalize(void)";
constexpr char kRegisterProtocolSignature[] =
    "void __cdecl Component::RegisterProtocolCommands(void)";

std::uint32_t ReplyFlag(const Event* event) { return event != nullptr ? event->GetReplyFlag() : 0; }

// Runs an event-form lifecycle handler: every exception is printed with the
// handler's signature and swallowed. Returns false after a failure.
template <typename Body>
bool RunHandler(const char* signature, int line, const Event* event, Body&& body) {
  try {
    body();
    return true;
  } catch (const Exception& e) {
    failure_report::PrintHandlerFailure(signature, line, event, e.GetMessage());
  } catch (const std::exception& e) {
    failure_report::PrintHandlerFailure(signature, line, event, e.what());
  } catch (...) {
    failure_report::PrintHandlerFailure(signature, line, event, nullptr);
  }
  return false;
}

// Runs the body of Initialize() or Finalize(): a failure is printed and
// answered with false.
template <typename Body>
bool RunGuarded(const char* signature, int line, Body&& body) {
  try {
    body();
    return true;
  } catch (const Exception& e) {
    std::printf("%s:%d, Exception occured!! : %s\n", signature, line, e.GetMessage());
  } catch (const std::exception& e) {
    std::printf("%s:%d, Exception occured!! : %s\n", signature, line, e.what());
  } catch (...) {
    std::printf("%s:%d, Exception occured!!\n", signature, line);
  }
  return false;
}

void RegisterRuntimeEventTypeNames() {
  RegisterEventTypeName(eAssociateAReceiver, "EEventType::eAssociateAReceiver");
  RegisterEventTypeName(eAssociateATarget, "EEventType::eAssociateATarget");
  RegisterEventTypeName(eInitialize, "EEventType::eInitialize");
  RegisterEventTypeName(eFinalize, "EEventType::eFinalize");
  RegisterEventTypeName(eStart, "EEventType::eStart");
  RegisterEventTypeName(eStop, "EEventType::eStop");
  RegisterEventTypeName(ePause, "EEventType::ePause");
  RegisterEventTypeName(eMonitorManagerRegister, "EEventType::eMonitorManagerRegister");
  RegisterEventTypeName(eDeAssociateAReceiver, "EEventType::eDeAssociateAReceiver");
  RegisterEventTypeName(eDeAssociateATarget, "EEventType::eDeAssociateATarget");
  RegisterEventTypeName(eDeAssociateAll, "EEventType::eDeAssociateAll");
  RegisterEventTypeName(eRemoteAssociateCompleted, "EEventType::eRemoteAssociateCompleted");
}

}  // namespace

Component::Component(unsigned long long type_code, const char* class_name)
    : ComponentPart(type_code, class_name),
      instanceIndex(0),
      componentVersion("0.0.0"),
      versionMajor(0),
      versionMinor(0),
      versionPatch(0) {
  ownUId = new (GetName()) UId(static_cast<unsigned long long>(instanceTag), 0);
  if (ownUId != nullptr) ownUId->SetName(GetName());
  SetReceivers(new ("ReceiversMap") ReceiverMap("ReceiversMap"));
  SetTargets(new ("TargetMap") TargetMap("TargetMap"));
  state = kStateConstructed;
  RegisterRuntimeEventTypeNames();
}

Component::~Component() {
  delete ownUId;
  ownUId = nullptr;
  delete event_receivers;
  event_receivers = nullptr;
  if (event_targets != nullptr) {
    for (auto& entry : *event_targets) delete entry.second;
    delete event_targets;
    event_targets = nullptr;
  }
}

bool Component::Initialize() {
  return RunGuarded(kInitializeSignature, __LINE__, [this] { SetState(kStateInitialized); });
}

bool Component::Finalize() {
  return RunGuarded(kFinalizeSignature, __LINE__, [this] { SetState(kStateFinalized); });
}

void Component::NoOperation() { ComponentPart::NoOperation(); }

void Component::SetSequenceParent(Event* event) {
  const bool forwarded = RunHandler(kSequenceSignature, __LINE__, event, [this, event] {
    for (auto& entry : partsMap) entry.second->SetSequenceParent(event);
  });
  if (forwarded) ComponentPart::SetSequenceParent(event);
}

bool Component::ProcessAEvent(Event* event) {
  try {
    // Without an event there is nothing to answer in: the host's mistake is
    // reported like an unsupported event rather than as a plain false.
    if (event == nullptr) {
      throw Exception(kErrorEventNotSupported, GetName(), kProcessSignature,
                      "eEventNotSupported:ExceptionID->" + std::to_string(kErrorEventNotSupported) +
                          " no event");
    }
    const int type = static_cast<int>(event->GetEventType());
    switch (type) {
      case eAssociateAReceiver:
        AssociateAReceiver(event);
        return true;
      case eAssociateATarget:
        AssociateATarget(event);
        return true;
      case eInitialize:
        Initialize(event);
        return true;
      case eFinalize:
        Finalize(event);
        return true;
      case eStart:
        Start(event);
        return true;
      case eStop:
        Stop(event);
        return true;
      case eRun:
        Run(event);
        return true;
      case ePause:
        Pause(event);
        return true;
      case eMonitorManagerRegister:
        RegisterMonitor(static_cast<std::int32_t>(event->GetArguments()));
        return true;
      case eDeAssociateAReceiver:
        DeAssociateAReceiver(event);
        return true;
      case eDeAssociateATarget:
        DeAssociateATarget(event);
        return true;
      case eDeAssociateAll:
        return true;
      case eRemoteAssociateCompleted:
        RemoteAssociateCompleted(event);
        return true;
      default:
        break;
    }
    std::string message = "eEventNotSupported:ExceptionID->" +
                          std::to_string(kErrorEventNotSupported) + " EventID->" +
                          std::to_string(type);
    const std::string type_name = GetEventTypeName(type);
    if (!type_name.empty()) message += "(" + type_name + ")";
    throw Exception(kErrorEventNotSupported, GetName(), kProcessSignature, message);
  } catch (const Exception& e) {
    PrintDispatchException(e, __LINE__);
    throw Exception(e);
  } catch (const std::exception& e) {
    failure_report::PrintStandardException(e.what(), kProcessSignature, __LINE__);
    throw std::runtime_error(e.what());
  }
}

void Component::RegisterMonitor(std::int32_t flags) {
  // 0 clears both flags; 1 and 2 set one of them, leaving the other; 3 sets
  // both; other values change nothing.
  switch (flags) {
    case 0:
      SetMonitorFlags(false, false);
      break;
    case 1:
      SetMonitorFlags(true, monitorFlag2);
      break;
    case 2:
      SetMonitorFlags(monitorFlag1, true);
      break;
    case 3:
      SetMonitorFlags(true, true);
      break;
    default:
      break;
  }
}

void Component::PrintDispatchException(const Exception& e, int line) const {
  std::printf(
      "\033[1;31m Exception ID(%d) occured at\nComponent %s's %s\n, because of ## %s ##\ncaught "
      "by %s:%d \033[0m\n",
      e.GetType(), instanceDescription.instanceName.c_str(), e.GetFunction().c_str(),
      e.GetMessage(), kProcessSignature, line);
}

void Component::OnAttributesDefaulted() {}

void Component::UnusedHook1() {}

void Component::OnPrepareAttributes() {}

void Component::UnusedHook2() {}

void Component::UnusedHook3() {}

void Component::OnProtocolFileMissing() {}

void Component::RegisterProtocolCommands() {
  std::printf("=> %s@%d\n", kRegisterProtocolSignature, __LINE__);
  std::printf("<= %s@%d\n", kRegisterProtocolSignature, __LINE__);
}

void Component::Run(Event* event) {
  RunHandler("void __cdecl Component::Run(class Event *)", __LINE__, event, [this] { Run(); });
}

void Component::Run() { SetState(kStateRunning); }

void Component::SetInstanceDescription(
    ComponentInterface::ManifestInstanceDescription&& description) {
  instanceIndex = description.index;
  instanceDescription = std::move(description);
}

void Component::SetInstanceDescription(
    const ComponentInterface::ManifestInstanceDescription& description) {
  instanceDescription = description;
  instanceIndex = description.index;
}

void Component::RegisterEventTypeNames() { RegisterRuntimeEventTypeNames(); }

bool Component::Initialize(Event* event) {
  bool result = false;
  const bool ran = RunHandler("bool __cdecl Component::Initialize(class Event *)", __LINE__, event,
                              [this, &result] { result = Initialize(); });
  return ran && result;
}

bool Component::Finalize(Event* event) {
  bool result = false;
  const bool ran = RunHandler("bool __cdecl Component::Finalize(class Event *)", __LINE__, event,
                              [this, &result] { result = Finalize(); });
  return ran && result;
}

void Component::Start(Event* event) {
  RunHandler("void __cdecl Component::Start(class Event *)", __LINE__, event, [this, event] {
    if (ReplyFlag(event) == 0) Start();
  });
}

void Component::Start() { SetState(kStateStarted); }

void Component::Stop(Event* event) {
  RunHandler("void __cdecl Component::Stop(class Event *)", __LINE__, event, [this, event] {
    if (ReplyFlag(event) == 0) Stop();
  });
}

void Component::Stop() { SetState(kStateStopped); }

void Component::Pause(Event* event) {
  RunHandler("void __cdecl Component::Pause(class Event *)", __LINE__, event, [this] { Pause(); });
}

void Component::Pause() { SetState(kStatePaused); }

void Component::RemoteAssociateCompleted(Event* event) {
  RunHandler("void __cdecl Component::RemoteAssociateCompleted(class Event *)", __LINE__, event,
             [this, event] {
               if (ReplyFlag(event) == 0) RemoteAssociateCompleted();
             });
}

void Component::RemoteAssociateCompleted() {}

void Component::AddPart(long long key, ComponentPart* part) { partsMap[key] = part; }

void Component::RemovePart(long long key) { partsMap.erase(key); }

}  // namespace pga
