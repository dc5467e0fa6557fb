#include "group/group_application.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "group/channel_list_param.h"
#include "group/channel_report_handler.h"
#include "group/group_request_handler.h"
#include "group/group_request_param.h"
#include "records/i_device_dispatcher.h"
#include "runtime/exception.h"
#include "runtime/vector.h"
#include "store/text_bytes.h"

namespace pga {

namespace {

// Whether `type` changes the tree (and so, on a shared store, other
// servers' trees).
bool ChangesTree(std::uint32_t type) {
  switch (type) {
    case eCreateLogicalGroup:
    case eModifyLogicalGroup:
    case eDeleteLogicalGroup:
    case eModifyLogicalMapping:
    case eChannelsRemoved:
    case eChannelsAdded:
    case eClearLogicalGroups:
      return true;
    default:
      return false;
  }
}

// A change that its handler answered as done, but whose batch the store did
// not keep, is answered as a store failure instead. Refusals and the
// handler's own failure answers stay; channel reports have no answer.
void AnswerUnkept(Event& event) {
  auto* request = dynamic_cast<GroupRequestParam*>(event.GetObjectArgument());
  if (request != nullptr && request->succeeded) {
    SendResult(event, IDeviceDispatcher::ResultParam::kStoreFailure, kInternalServerError);
  }
}

// The handler a channel report goes to, naming its lines.
const char* HandlerOf(bool added) { return added ? "OnChannelsAdded" : "OnChannelsRemoved"; }

// The id of `channel`, empty when it has none.
const std::string& IdOf(const std::shared_ptr<ChannelModel>& channel) {
  static const std::string kNone;
  return channel && channel->channelId ? *channel->channelId : kNone;
}

// `id` quoted for a line, its first 64 bytes only when it is longer.
std::string Shown(const std::string& id) {
  constexpr std::size_t kShown = 64;
  if (id.size() <= kShown) return QuoteText(id);
  return QuoteText(id.substr(0, kShown)) + "... (" + std::to_string(id.size()) + " bytes)";
}

}  // namespace

class GroupApplication::Handling {
 public:
  Handling(GroupApplication& app, std::int64_t type) : app_(app) {
    app_.handlingType = type;
    app_.handlingThread = std::this_thread::get_id();
  }
  Handling(const Handling&) = delete;
  Handling& operator=(const Handling&) = delete;
  ~Handling() { app_.handlingThread = std::thread::id(); }

 private:
  GroupApplication& app_;
};

GroupApplication::GroupApplication()
    : GroupApplication([] { return std::make_shared<GroupService>(); }) {}

// The service is made in the member's initializer, after the base, so that
// a store that cannot be opened still finds the base complete and undoes it.
GroupApplication::GroupApplication(const ServiceFactory& make_service)
    : ThreadComponent(kTypeCode, "GroupApplication"), groupService(make_service()) {}

GroupApplication::~GroupApplication() {
  // Before anything goes: the store's thread and the retry may be calling
  // this object.
  if (groupService) groupService->StopWatchingSharedChanges();
  reportRetry.Stop();
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
    // Only this thread can have set its own id: no other thread changes it
    // to or from ours while we look.
    if (handlingThread.load() == std::this_thread::get_id()) {
      RefuseNestedDelivery(*event, handlingType.load());
    }
    std::lock_guard<std::mutex> lock(groupLock);
    Handling handling(*this, event->GetEventType());
    if (HandleGroupEvent(event->GetEventType(), *event)) return true;
  }
  return ThreadComponent::ProcessAEvent(event);
}

void GroupApplication::RefuseNestedDelivery(const Event& event, std::int64_t handling) const {
  const std::string doing = handling == kFollowing ? "sending the changes of other servers"
                                                   : "handling event " + std::to_string(handling);
  const std::string message = "event " + std::to_string(event.GetEventType()) +
                              " refused: delivered on the thread that is still " + doing +
                              " in this component";
  throw Exception(kErrorEventNotSupported, GetName(),
                  "bool __cdecl GroupApplication::ProcessAEvent(class Event *)", message.c_str());
}

bool GroupApplication::HandleGroupEvent(std::uint32_t type, Event& event) {
  Notifier notifier(*this);
  if (!ChangesTree(type)) return Dispatch(type, event, notifier);
  // Reports kept while the store could not take them come first, in order.
  // A report that comes while they wait joins them at once, and is stored
  // with them as soon as the store takes them (RetryKeptReportsSoon):
  // trying the first again here would hold the host's thread for a lock
  // wait, or for a server that does not answer, at every report of a burst.
  const bool isReport = type == eChannelsAdded || type == eChannelsRemoved;
  if (!keptReports.empty() && !isReport) StoreKeptReports();
  if (isReport) {
    std::optional<ChannelReport> report = ReportOf(type, event);
    if (report && !LeaveOutWhatTheStoreRefuses(*report)) return true;
    if (report && (!keptReports.empty() || !StoreReport(*report))) Keep(std::move(*report));
    return true;
  }
  if (!groupService->SharesStore()) return Dispatch(type, event, notifier);
  if (!RunSharedChange([&](Notifier& held) { Dispatch(type, event, held); })) AnswerUnkept(event);
  return true;
}

bool GroupApplication::RunSharedChange(const std::function<void(Notifier&)>& change) {
  // The notifications are logged with the change and sent once it is
  // committed, after those of the other servers' changes met on the way,
  // which were committed before it.
  Notifier notifier(*this);
  notifier.Hold();
  ChangeNotices own;
  const bool kept = groupService->RunChange([&] {
    change(notifier);
    own = notifier.TakeHeld();
    return own;
  });
  for (const ChangeNotice& notice : groupService->TakeSharedNotices()) {
    notifier.SendNotification(notice);
  }
  if (!kept) return false;
  for (const ChangeNotice& notice : own) notifier.SendNotification(notice);
  return true;
}

std::optional<GroupApplication::ChannelReport> GroupApplication::ReportOf(std::uint32_t type,
                                                                          Event& event) {
  ChannelReport report;
  if (type == eChannelsAdded) {
    auto* added = dynamic_cast<ChannelListParam*>(event.GetObjectArgument());
    if (added == nullptr || added->channels == nullptr) return std::nullopt;
    report.added = added->channels;
    return report;
  }
  auto* ids = dynamic_cast<Vector<std::string>*>(event.GetObjectArgument());
  if (ids == nullptr || ids->empty()) return std::nullopt;
  report.removed.assign(ids->begin(), ids->end());
  return report;
}

bool GroupApplication::LeaveOutWhatTheStoreRefuses(ChannelReport& report) const {
  using Use = IGroupRepository::TextUse;
  const auto refused = [this](const char* handler, const std::string& id, const char* what,
                              const std::string& text, Use use) {
    const char* refusal = groupService->StoreRefusal(text, use);
    if (refusal != nullptr) {
      std::printf(
          "GroupApplication::%s channel %s left out: its %s holds %s, which the store "
          "cannot take\n",
          handler, Shown(id).c_str(), what, refusal);
    }
    return refusal != nullptr;
  };
  // A store of one server takes any bytes.
  if (!groupService->SharesStore()) return true;
  if (report.added) {
    static const std::string kNone;
    auto taken = std::make_shared<ChannelModelList>();
    for (const auto& channel : *report.added) {
      const std::string& id = IdOf(channel);
      const std::string& name = channel && channel->channelName ? *channel->channelName : kNone;
      if (!refused("OnChannelsAdded", id, "id", id, Use::kWrittenId) &&
          !refused("OnChannelsAdded", id, "name", name, Use::kOther)) {
        taken->push_back(channel);
      }
    }
    // The event's own list stays as it is when all of it is taken.
    if (taken->size() != report.added->size()) report.added = std::move(taken);
    return true;
  }
  std::vector<std::string> taken;
  for (std::string& id : report.removed) {
    if (!refused("OnChannelsRemoved", id, "id", id, Use::kOther)) taken.push_back(std::move(id));
  }
  report.removed = std::move(taken);
  return !report.removed.empty();
}

void GroupApplication::ApplyReport(ChannelReportHandler& channels, const ChannelReport& report) {
  if (report.added) {
    channels.AddChannels(*report.added);
  } else {
    channels.RemoveChannels(report.removed);
  }
}

bool GroupApplication::StoreReport(ChannelReport& report) {
  if (groupService->SharesStore()) {
    return RunSharedChange([&](Notifier& held) {
      ChannelReportHandler channels(*groupService, held);
      ApplyReport(channels, report);
    });
  }
  // On a store of one server only a lock that another program keeps makes
  // a report wait, batch by batch: the batch's changes are taken back from
  // the cache and its notifications are not sent. A removal whose channels
  // went through waits with the parents still to judge. Any other failure
  // goes as the handler's rules say.
  Notifier notifier(*this);
  ChannelReportHandler channels(*groupService, notifier);
  const auto stage = [&](const std::function<void()>& run) {
    notifier.Hold();
    const bool stored = groupService->RunRetryable(run);
    const ChangeNotices held = notifier.TakeHeld();
    if (stored) {
      for (const ChangeNotice& notice : held) notifier.SendNotification(notice);
    }
    return stored;
  };
  if (report.added) return stage([&] { channels.AddChannels(*report.added); });
  if (!report.channelsGone) {
    std::set<std::string> parents;
    if (!stage([&] { parents = channels.RemoveChannelItems(report.removed); })) return false;
    report.channelsGone = true;
    report.parents = std::move(parents);
  }
  return report.parents.empty() || stage([&] { channels.RemoveEmptiedGroups(report.parents); });
}

void GroupApplication::Keep(ChannelReport report) {
  if (keptReports.size() >= kMaxKeptReports) {
    ++lostReports;
    std::printf(
        "GroupApplication::%s the store cannot take channel reports and %zu wait already: this "
        "one is lost\n",
        HandlerOf(report.added != nullptr), keptReports.size());
    return;
  }
  keptReports.push_back(std::move(report));
  RetryKeptReportsSoon();
}

void GroupApplication::RetryKeptReportsSoon() {
  if (groupService->SharesStore()) {
    groupService->NudgeSharedChanges();
  } else if (!reportRetry.Start([this] { return RetryKeptReports(); })) {
    std::printf(
        "GroupApplication::RetryKeptReportsSoon no thread for the retry: the kept channel "
        "reports are tried again at the next request and at the stop\n");
  }
}

bool GroupApplication::RetryKeptReports() {
  std::lock_guard<std::mutex> lock(groupLock);
  if (keptReports.empty()) return true;
  // A lock that is still kept is waited for here, quietly: the reports
  // themselves would wait for it, fail, and say so each time.
  if (!groupService->CanWriteNow()) return false;
  Handling handling(*this, eChannelsAdded);
  return StoreKeptReports();
}

bool GroupApplication::StoreKeptReports() {
  if (!groupService->SharesStore()) {
    while (!keptReports.empty()) {
      if (!StoreReport(keptReports.front())) return false;
      keptReports.pop_front();
    }
    return true;
  }
  // Many go as one change: each commit costs the database a disk sync and a
  // turn of the change lock, which the thousands of reports kept through an
  // outage would pay one by one while every request waits (2,000 took 2.7 s
  // that way, scripts/bench-postgres).
  std::size_t per_change = kKeptReportsPerChange;
  while (!keptReports.empty()) {
    const std::size_t count = ReportsForOneChange(per_change);
    const bool stored = RunSharedChange([&](Notifier& held) {
      ChannelReportHandler channels(*groupService, held);
      for (std::size_t i = 0; i < count; ++i) ApplyReport(channels, keptReports[i]);
    });
    if (stored) {
      keptReports.erase(keptReports.begin(), keptReports.begin() + count);
      continue;
    }
    // A store that is away takes them later, in order.
    if (!groupService->TakeDataRefused()) return false;
    // The store refuses what one of them carries, and would refuse it at
    // every try: the report is found by trying them one at a time, the
    // channel by trying its halves apart, and halves of those (a few dozen
    // changes even in a million channels), and the channel refused is left
    // out, so that it holds up nothing else.
    if (count > 1) {
      per_change = 1;
    } else if (!SplitFirstKeptReport()) {
      LeaveOutFirstKeptReport();
      per_change = kKeptReportsPerChange;
    }
  }
  return true;
}

std::size_t GroupApplication::ReportsForOneChange(std::size_t most) const {
  std::size_t count = 0;
  std::size_t channels = 0;
  while (count < std::min(most, keptReports.size()) && channels < kKeptChannelsPerChange) {
    const ChannelReport& report = keptReports[count++];
    channels += report.added ? report.added->size() : report.removed.size();
  }
  return count;
}

bool GroupApplication::SplitFirstKeptReport() {
  const ChannelReport first = std::move(keptReports.front());
  ChannelReport front_half;
  ChannelReport back_half;
  std::size_t size;
  if (first.added) {
    // Halved in the order the report's change numbers them, so that the
    // halves number them the same.
    ChannelModelList channels = *first.added;
    const auto time = [](const std::shared_ptr<ChannelModel>& channel) {
      return channel && channel->createdTime ? static_cast<std::uint64_t>(*channel->createdTime)
                                             : std::uint64_t{0};
    };
    std::stable_sort(channels.begin(), channels.end(),
                     [&](const auto& a, const auto& b) { return time(a) < time(b); });
    size = channels.size();
    const auto middle = channels.begin() + static_cast<std::ptrdiff_t>(size / 2);
    front_half.added = std::make_shared<ChannelModelList>(channels.begin(), middle);
    back_half.added = std::make_shared<ChannelModelList>(middle, channels.end());
  } else {
    size = first.removed.size();
    const auto middle = first.removed.begin() + static_cast<std::ptrdiff_t>(size / 2);
    front_half.removed.assign(first.removed.begin(), middle);
    back_half.removed.assign(middle, first.removed.end());
  }
  if (size < 2) {
    keptReports.front() = first;
    return false;
  }
  std::printf(
      "GroupApplication::%s the store refuses a report of %zu channels: its halves are tried "
      "apart\n",
      HandlerOf(first.added != nullptr), size);
  keptReports.front() = std::move(back_half);
  keptReports.push_front(std::move(front_half));
  return true;
}

void GroupApplication::LeaveOutFirstKeptReport() {
  const ChannelReport& first = keptReports.front();
  // One channel (SplitFirstKeptReport() split every report of more).
  const std::string id = first.added ? (first.added->empty() ? "" : IdOf(first.added->front()))
                                     : (first.removed.empty() ? "" : first.removed.front());
  std::printf(
      "GroupApplication::%s channel %s left out: the store refuses it (its statement's line is "
      "above)\n",
      HandlerOf(first.added != nullptr), Shown(id).c_str());
  keptReports.pop_front();
}

bool GroupApplication::Dispatch(std::uint32_t type, Event& event, Notifier& notifier) {
  GroupRequestHandler requests(*groupService, notifier);
  ChannelReportHandler channels(*groupService, notifier);
  switch (type) {
    case eGetLogicalList:
      requests.GetLogicalList(event);
      return true;
    case eGetLogicalGroups:
      requests.GetLogicalGroups(event);
      return true;
    case eCreateLogicalGroup:
      requests.CreateLogicalGroup(event);
      return true;
    case eModifyLogicalGroup:
      requests.ModifyLogicalGroup(event);
      return true;
    case eDeleteLogicalGroup:
      requests.DeleteLogicalGroup(event);
      return true;
    case eGetLogicalMappings:
      requests.GetLogicalMappings(event);
      return true;
    case eModifyLogicalMapping:
      requests.ModifyLogicalMapping(event);
      return true;
    case eGetGroupChannels:
      requests.GetGroupChannels(event);
      return true;
    case eClearLogicalGroups:
      ClearLogicalGroups(notifier);
      return true;
    case eChannelsRemoved:
      channels.OnChannelsRemoved(event);
      return true;
    case eChannelsAdded:
      channels.OnChannelsAdded(event);
      return true;
    default:
      return false;
  }
}

void GroupApplication::ClearLogicalGroups(Notifier& notifier) {
  if (!groupService->SharesStore()) {
    groupService->Clear();
    return;
  }
  // Every item goes, announced as a group deletion is: the groups, then
  // every item. The other servers follow these notices like any others.
  auto groups = std::make_shared<WebsocketEventModel>();
  auto items = std::make_shared<WebsocketEventModel>();
  for (const auto& [id, item] : groupService->items()) {
    auto removed = std::make_shared<GroupOrderModel>();
    removed->itemId = id;
    items->logicalItems->push_back(std::move(removed));
    if (item.type == nullptr || *item.type != kGroupType) continue;
    auto group = std::make_shared<GroupModel>();
    group->groupId = id;
    groups->groups->push_back(std::move(group));
  }
  groupService->Clear();
  notifier.SendNotification(kLogicalGroupDeleted, std::move(groups));
  notifier.SendNotification(kLogicalMappingDeleted, std::move(items));
}

void GroupApplication::Run() { ThreadComponent::Run(); }

void GroupApplication::Start() {
  {
    std::lock_guard<std::mutex> lock(groupLock);
    groupService->LoadItems();
    // Reports that a stop could not store are tried again from now on (on
    // a shared store the listener that starts below tries them first).
    if (!keptReports.empty()) RetryKeptReportsSoon();
  }
  if (groupService->SharesStore()) {
    groupService->WatchSharedChanges([this] { return FollowSharedChanges(); });
  }
  ThreadComponent::Start();
}

bool GroupApplication::FollowSharedChanges() {
  std::lock_guard<std::mutex> lock(groupLock);
  // The notifications go to the host from the store's thread, whose queue
  // may deliver from inside the put as from a host thread.
  Handling handling(*this, kFollowing);
  const bool current = groupService->FollowSharedChanges();
  Notifier notifier(*this);
  for (const ChangeNotice& notice : groupService->TakeSharedNotices()) {
    notifier.SendNotification(notice);
  }
  // The store is back (this runs once the store's thread could connect):
  // what it could not take before is stored now, or tried again soon.
  const bool stored = StoreKeptReports();
  return current && stored;
}

void GroupApplication::Stop() {
  // A stopped component sends nothing more; the host may change its
  // receivers from now on, which the store's thread must not meet.
  groupService->StopWatchingSharedChanges();
  reportRetry.Stop();
  {
    std::lock_guard<std::mutex> lock(groupLock);
    Handling handling(*this, eChannelsAdded);
    if (!StoreKeptReports() || lostReports > 0) {
      std::printf("GroupApplication::Stop %zu channel reports could not be stored\n",
                  keptReports.size() + lostReports);
    }
  }
  ThreadComponent::Stop();
}

}  // namespace pga
