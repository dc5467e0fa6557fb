// GroupApplication: the one component that this library creates for its
// host. It keeps the camera tree through its GroupService and turns group
// requests and channel reports into service calls, answers and
// notifications; every other event goes to the runtime's default handling.
#ifndef PGA_GROUP_GROUP_APPLICATION_H_
#define PGA_GROUP_GROUP_APPLICATION_H_

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "group/group_event_type.h"
#include "group/notifier.h"
#include "group/retry_thread.h"
#include "records/i_group_application.h"
#include "records/websocket_event_model.h"
#include "runtime/event.h"
#include "runtime/thread_component.h"
#include "store/group_service.h"

namespace pga {

class ChannelReportHandler;

class GroupApplication : public IGroupApplication, public ThreadComponent {
 public:
  static constexpr unsigned long long kTypeCode = 25067000;

  // Makes the service that the component keeps; it may throw.
  using ServiceFactory = std::function<std::shared_ptr<GroupService>()>;

  // Type code 25067000, name "GroupApplication", on the store that
  // OpenGroupStore() chooses: "group.db" of the current directory unless
  // PGA_STORE names a shared one (a new GroupService).
  GroupApplication();
  // Constructs the ThreadComponent base first (its UId and both tables),
  // then takes the service from `make_service`, which must not answer null.
  // An exception of `make_service`, such as a store that cannot be opened,
  // leaves the constructor after the base is undone.
  explicit GroupApplication(const ServiceFactory& make_service);
  // Stops following other servers, joins the worker, empties the item cache
  // and lets the service go (the store closes when the last reference goes).
  ~GroupApplication() override;

  bool Initialize() override;
  using ThreadComponent::Initialize;
  // Handles the group requests (25067001 to 25067009 but 25067008), the
  // store-clearing event and the channel reports, answering true whatever
  // their outcome; passes every other type to the runtime's dispatch. Safe
  // to call from several host threads at once: the group handling takes one
  // lock. An event delivered on a thread that is still inside the group
  // handling (a host queue that delivers from inside the put of a
  // notification, also of one that the store's thread sends for another
  // server's change) is refused: an Exception kErrorEventNotSupported whose
  // message names both events, or says that the thread is sending other
  // servers' changes, since going on would wait for that thread itself.
  bool ProcessAEvent(Event* event) override;
  void Run() override;
  using ThreadComponent::Run;
  // Loads every stored item into the cache (under the same lock), then starts
  // as every ThreadComponent does. On a store that other servers share, it
  // then follows their changes: each one is taken into the cache and its
  // notifications are sent to "DeviceListener" as that server sent them,
  // from a thread of the store's, under the same lock.
  void Start() override;
  using ThreadComponent::Start;
  // Stops following the other servers' changes (Start() takes it up
  // again), then stops as every ThreadComponent does.
  void Stop() override;
  using ThreadComponent::Stop;

  // The service, shared; for tests and tools that inspect the cache.
  const std::shared_ptr<GroupService>& service() const { return groupService; }

 private:
  // Runs the group handler for `type`; false when the type is not one of
  // the component's own. On a shared store a change runs as one batch with
  // its notifications logged, and they are sent once it is committed.
  bool HandleGroupEvent(std::uint32_t type, Event& event);
  // The handler of `type`, sending through `notifier`; false when the type
  // is not one of the component's own.
  bool Dispatch(std::uint32_t type, Event& event, Notifier& notifier);
  // A channel report, as it is kept while the store cannot take it: the
  // added channels, or else the removed ids.
  struct ChannelReport {
    std::shared_ptr<ChannelModelList> added;
    std::vector<std::string> removed;
    // A removal on a store of one server whose channels are gone and
    // announced already, and the parents they had, still to be judged.
    bool channelsGone = false;
    std::set<std::string> parents;
  };
  // Reports kept at most; later ones are lost, each with a line.
  static constexpr std::size_t kMaxKeptReports = 10000;
  // Kept reports stored as one change of a shared store at most: enough to
  // make the commits a small share of the catch-up, few enough that the
  // other servers' changes do not wait long behind one.
  static constexpr std::size_t kKeptReportsPerChange = 100;
  // Nor more reports than it takes to reach this many channels (a report
  // of more goes alone).
  static constexpr std::size_t kKeptChannelsPerChange = 10000;

  // Runs `change` (a handler sending through the notifier it is given) as
  // one change of the shared store, sending the other servers' changes met
  // on the way, then, once committed, its own notifications; answers
  // whether it was committed.
  bool RunSharedChange(const std::function<void(Notifier&)>& change);
  // The report that a channel event of `type` carries; nullopt when the
  // event changes nothing.
  static std::optional<ChannelReport> ReportOf(std::uint32_t type, Event& event);
  // Leaves out of `report`, each with a line, the channels whose id or name
  // the store cannot take (a shared store: PostgreSQL holds no NUL byte,
  // and refuses bytes that are not UTF-8 on a UTF8 database and ids beyond
  // its index's limit). Such a channel could
  // never be stored, nor the change that announces it logged: kept for
  // another try, it would hold up every later report for good. False when
  // nothing is left to do.
  bool LeaveOutWhatTheStoreRefuses(ChannelReport& report) const;
  // Stores `report` with its notifications: on a shared store as one
  // change, false when the store did not commit it; on a store of one
  // server as the handlers' rules say, false (and the cache as before the
  // batch) when a batch met a lock that another program kept on the store,
  // `report` then holding what is left to do.
  bool StoreReport(ChannelReport& report);
  // Hands `report` to the handler's rules.
  static void ApplyReport(ChannelReportHandler& channels, const ChannelReport& report);
  // Keeps `report` for later, behind the others, and has the kept reports
  // tried again soon; beyond kMaxKeptReports it is lost with a line.
  void Keep(ChannelReport report);
  // Has the kept reports tried again once the store may take them, with no
  // event needed: on a shared store by the store's thread, once the server
  // answers it; on a store of one server by reportRetry, once the lock that
  // another program kept is gone. The caller holds groupLock.
  void RetryKeptReportsSoon();
  // reportRetry's attempt: stores the kept reports when the store's write
  // lock is free; true when none is left.
  bool RetryKeptReports();
  // Stores the kept reports, oldest first, up to the first one the store
  // does not take; true when none is left. On a shared store a report that
  // the store refuses for what it carries (IGroupRepository::TakeDataRefused)
  // is stored in ever smaller parts, and a channel refused is left out with
  // a line.
  bool StoreKeptReports();
  // How many of the first kept reports, `most` at most, go as one change.
  std::size_t ReportsForOneChange(std::size_t most) const;
  // Replaces the first kept report of several channels by its two halves,
  // in the order its change would number them; false when it has only one.
  bool SplitFirstKeptReport();
  // Drops the first kept report, of one channel, with a line.
  void LeaveOutFirstKeptReport();

  // Clears the store. On a store of one server the table is dropped and the
  // cache left as it is, without a notification. On a shared store the
  // clear is a change like the others: every row and every cached item
  // goes, "LogicalGroupDeleted" names every group and
  // "LogicalMappingDeleted" every item, on this server and, as they follow
  // it, on the others, which go on working.
  void ClearLogicalGroups(Notifier& notifier);
  // Takes in the changes of the other servers sharing the store and sends
  // their notifications; answers whether the cache is up to date.
  bool FollowSharedChanges();

  // Recorded as the handled type while the store's thread sends the changes
  // of other servers; no event type has this value.
  static constexpr std::int64_t kFollowing = -1;
  // Marks the calling thread as inside the group handling, of an event of
  // the type given or kFollowing, for as long as it lives; the caller holds
  // groupLock.
  class Handling;

  // Throws the refusal of `event`, delivered while this thread handles the
  // event of type `handling` (or kFollowing).
  [[noreturn]] void RefuseNestedDelivery(const Event& event, std::int64_t handling) const;

  std::shared_ptr<GroupService> groupService;
  // Serialises the group handling of host threads that deliver at once, and
  // of the store's thread that sends other servers' changes.
  std::mutex groupLock;
  // The thread inside the group handling, and the type of the event it
  // handles (or kFollowing); a default id when none is.
  std::atomic<std::thread::id> handlingThread{};
  std::atomic<std::int64_t> handlingType{0};
  // The channel reports that the store could not take (a shared store was
  // unreachable or the change failed; another program kept the SQLite
  // file locked), in the order they came, stored before any later change;
  // and how many were lost beyond the bound. Guarded by groupLock.
  std::deque<ChannelReport> keptReports;
  std::size_t lostReports = 0;
  // Tries the kept reports again on a store of one server: after 100 ms,
  // then up to 2 s apart. A look at the lock costs microseconds, and a
  // tool's lock is usually gone within a second or two.
  RetryThread reportRetry{std::chrono::milliseconds(100), std::chrono::milliseconds(2000)};
};

}  // namespace pga

#endif  // PGA_GROUP_GROUP_APPLICATION_H_
