#include "group/group_application.h"

#include "group/channel_report_handler.h"
#include "group/group_request_handler.h"
#include "group/notifier.h"

GroupApplication::GroupApplication()
    : GroupApplication([] { return std::make_shared<GroupService>(); }) {}

// The service is made in the member's initializer, after the base, so that
// a store that cannot be opened still finds the base complete and undoes it.
GroupApplication::GroupApplication(const ServiceFactory& make_service)
    : ThreadComponent(kTypeCode, "GroupApplication"), groupService(make_service()) {}

GroupApplication::~GroupApplication() {
  // The worker dispatches to Run() through this object: it must be over
  // before any part of the object goes.
  try {
    JoinWorker();
  } catch (...) {
    // Destroyed from the worker itself: ThreadComponent lets the thread go.
  }
  if (groupService) groupService->ClearItemCache();
  groupService.reset();
}

bool GroupApplication::Initialize() { return ThreadComponent::Initialize(); }

bool GroupApplication::ProcessAEvent(Event* event) {
  if (event != nullptr) {
    std::lock_guard<std::mutex> lock(groupLock);
    if (HandleGroupEvent(event->GetEventType(), *event)) return true;
  }
  return ThreadComponent::ProcessAEvent(event);
}

bool GroupApplication::HandleGroupEvent(std::uint32_t type, Event& event) {
  Notifier notifier(*this);
  GroupRequestHandler requests(*groupService, notifier);
  ChannelReportHandler channels(*groupService, notifier);
  switch (type) {
    case eGetLogicalList: requests.GetLogicalList(event); return true;
    case eGetLogicalGroups: requests.GetLogicalGroups(event); return true;
    case eCreateLogicalGroup: requests.CreateLogicalGroup(event); return true;
    case eModifyLogicalGroup: requests.ModifyLogicalGroup(event); return true;
    case eDeleteLogicalGroup: requests.DeleteLogicalGroup(event); return true;
    case eGetLogicalMappings: requests.GetLogicalMappings(event); return true;
    case eModifyLogicalMapping: requests.ModifyLogicalMapping(event); return true;
    case eGetGroupChannels: requests.GetGroupChannels(event); return true;
    case eClearLogicalGroups: groupService->Clear(); return true;
    case eChannelsRemoved: channels.OnChannelsRemoved(event); return true;
    case eChannelsAdded: channels.OnChannelsAdded(event); return true;
    default: return false;
  }
}

void GroupApplication::Run() { ThreadComponent::Run(); }

void GroupApplication::Start() {
  {
    std::lock_guard<std::mutex> lock(groupLock);
    groupService->LoadItems();
  }
  ThreadComponent::Start();
}

void GroupApplication::Stop() { ThreadComponent::Stop(); }
