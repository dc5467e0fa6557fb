// Two group components on one PostgreSQL store, as two servers of a site:
// each follows the other's changes. Needs the test server of
// scripts/with-postgres.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "doubles/component_driver.h"
#include "doubles/counting_allocator.h"
#include "doubles/recording_event_queue.h"
#include "group/channel_list_param.h"
#include "group/group_application.h"
#include "group/group_request_param.h"
#include "records/i_device_dispatcher.h"
#include "records/i_device_listener.h"
#include "records/i_group_application.h"
#include "runtime/exception.h"
#include "runtime/platform_string.h"
#include "runtime/vector.h"
#include "store/postgres_group_repository.h"
#include "store/postgres_test_schema.h"

namespace pga {

namespace {

using Rows = PostgresTestSchema::Rows;
using std::chrono::steady_clock;

// One server: a component on the shared store, driven as a host drives it,
// with its own recording "DeviceListener".
class Site {
 public:
  explicit Site(const std::string& conninfo) {
    app_ = new ("GroupApplication") GroupApplication([&] {
      return std::make_shared<GroupService>(std::make_shared<PostgresGroupRepository>(conninfo));
    });
    driver_ = std::make_unique<ComponentDriver>(*app_);
    driver_->Allocate();
    EXPECT_TRUE(driver_->AssociateReceiver("DeviceListener", listener_, 77));
    driver_->Begin();
  }
  ~Site() {
    driver_->End();
    driver_.reset();
    delete app_;
  }

  // Makes `queue` the site's "DeviceListener"; null makes it its own again.
  void ListenWith(RecordingEventQueue* queue) {
    app_->DeAssociateAReceiver(Platform_Std_Refine::String("DeviceListener"), UId());
    EXPECT_TRUE(driver_->AssociateReceiver("DeviceListener", queue ? *queue : listener_, 77));
  }
  // Delivers a logical-list request: "handled", or the message of the
  // Exception that refused it.
  std::string TryList() {
    std::unique_ptr<Event> event = driver_->MakeEvent(eGetLogicalList);
    try {
      return driver_->Deliver(*event) ? "handled" : "not handled";
    } catch (const Exception& e) {
      return e.GetMessage();
    }
  }

  std::unique_ptr<Event> Request(std::uint32_t type, GroupRequestParam::Payload payload) {
    auto* request = new ("GroupRequestParam") GroupRequestParam();
    request->payload = std::move(payload);
    return Deliver(type, request);
  }
  std::unique_ptr<Event> Deliver(std::uint32_t type, BaseObject* payload) {
    std::unique_ptr<Event> event = driver_->MakeEvent(type, 0, payload);
    EXPECT_TRUE(driver_->Deliver(*event));
    return event;
  }
  std::unique_ptr<Event> Create(const std::string& id, std::optional<std::string> parent = {}) {
    auto group = std::make_shared<GroupModel>();
    group->groupId = id;
    group->groupName = "name-" + id;
    group->parentId = std::move(parent);
    return Request(eCreateLogicalGroup, group);
  }
  void AddChannels(const std::vector<std::string>& ids) {
    auto* report = new ("ChannelListParam") ChannelListParam();
    for (std::size_t i = 0; i < ids.size(); ++i) {
      auto channel = std::make_shared<ChannelModel>();
      channel->channelId = ids[i];
      channel->channelName = "cam-" + ids[i];
      channel->createdTime = static_cast<int64_t>(100 + i);
      report->channels->push_back(std::move(channel));
    }
    Deliver(eChannelsAdded, report);
  }
  std::unique_ptr<Event> Move(const std::string& id, const std::string& parent, int32_t order) {
    auto move = std::make_shared<GroupOrderModel>();
    move->itemId = id;
    move->parentId = parent;
    move->order = order;
    return Request(eModifyLogicalMapping,
                   std::make_shared<GroupOrderModelList>(GroupOrderModelList{move}));
  }

  // "id|parent|name|type|order|time" of every cached item, by id, read
  // through a logical-list request (under the component's lock).
  std::vector<std::string> Cache() {
    std::unique_ptr<Event> event = Deliver(eGetLogicalList, nullptr);
    std::vector<std::string> lines;
    auto* list = dynamic_cast<IGroupApplication::LogicalList*>(event->GetObjectArgument());
    if (list == nullptr) return lines;
    // The item records carry no name or time: the cache is read for those.
    for (const auto& item : *list->items) {
      lines.push_back(item->itemId + "|" + item->ParentText() + "|" + item->type + "|" +
                      std::to_string(item->order));
    }
    return lines;
  }

  // The notifications received so far and not yet taken, as text with the
  // sending time masked.
  std::vector<std::string> Notifications() {
    std::vector<std::string> texts;
    for (const std::unique_ptr<Event>& event : listener_.TakeEvents()) {
      auto* param = dynamic_cast<IDeviceListener::EventParam*>(event->GetObjectArgument());
      if (param == nullptr) continue;
      static const std::regex time("\"eventTimeMsec\":[0-9]+");
      texts.push_back(std::regex_replace(param->ToJsonText(), time, "\"eventTimeMsec\":T"));
    }
    return texts;
  }
  // Waits up to 10 s until `count` notifications are waiting.
  bool AwaitNotifications(std::size_t count) {
    const auto deadline = steady_clock::now() + std::chrono::seconds(10);
    while (listener_.size() < count && steady_clock::now() < deadline) {
      listener_.WaitForEvents(std::chrono::milliseconds(20));
    }
    return listener_.size() >= count;
  }
  std::size_t waiting() const { return listener_.size(); }

 private:
  RecordingEventQueue listener_;
  GroupApplication* app_ = nullptr;
  std::unique_ptr<ComponentDriver> driver_;
};

// A host queue that, on each notification, delivers `deliver` into the
// component on the same thread before answering, as a host that runs its
// listeners inline would; keeps what each delivery gave.
class InlineListener : public RecordingEventQueue {
 public:
  explicit InlineListener(std::function<std::string()> deliver) : deliver_(std::move(deliver)) {}
  bool PutUnordered(Event* event) override { return DeliverInside(event); }
  bool PutOrdered(Event* event) override { return DeliverInside(event); }

  // Waits up to 10 s for `count` outcomes and answers them.
  std::vector<std::string> AwaitOutcomes(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    delivered_.wait_for(lock, std::chrono::seconds(10), [&] { return outcomes_.size() >= count; });
    return outcomes_;
  }

 private:
  bool DeliverInside(Event* notification) {
    delete notification;
    std::string outcome = deliver_();
    std::lock_guard<std::mutex> lock(mutex_);
    outcomes_.push_back(std::move(outcome));
    delivered_.notify_all();
    return true;
  }

  std::function<std::string()> deliver_;
  std::mutex mutex_;
  std::condition_variable delivered_;
  std::vector<std::string> outcomes_;  // GUARDED_BY(mutex_)
};

bool Succeeded(Event& event) {
  auto* answer = dynamic_cast<GroupRequestParam*>(event.GetObjectArgument());
  return answer != nullptr && answer->succeeded;
}

std::string Failure(Event& event) {
  auto* result = dynamic_cast<IDeviceDispatcher::ResultParam*>(event.GetObjectArgument());
  return result == nullptr ? "none" : std::to_string(result->code) + " " + result->message;
}

class SharedTreeTest : public testing::Test {
 protected:
  void SetUp() override {
    if (PostgresTestSchema::Server().empty()) GTEST_SKIP() << "no test server";
    InstallAllocator(&allocator_);
    schema_ = std::make_unique<PostgresTestSchema>();
    a_ = std::make_unique<Site>(schema_->conninfo());
    b_ = std::make_unique<Site>(schema_->conninfo());
  }
  void TearDown() override {
    if (!schema_) return;
    a_.reset();
    b_.reset();
    schema_.reset();
    EXPECT_EQ(allocator_.LiveBlocks(), 0u) << "storage leaked";
    InstallAllocator(nullptr);
  }

  // The table in the form Site::Cache() gives, by id.
  std::vector<std::string> Table() const {
    std::vector<std::string> lines;
    for (const auto& row : schema_->Query(
             "SELECT uuid, parent_uuid, type, order_ FROM logical_table ORDER BY uuid")) {
      lines.push_back(row[0] + "|" + row[1] + "|" + row[2] + "|" + row[3]);
    }
    return lines;
  }
  // Waits up to 10 s until `site`'s cache equals the table.
  bool Converged(Site& site) const {
    const auto deadline = steady_clock::now() + std::chrono::seconds(10);
    while (site.Cache() != Table()) {
      if (steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  CountingAllocator allocator_;
  std::unique_ptr<PostgresTestSchema> schema_;
  std::unique_ptr<Site> a_;
  std::unique_ptr<Site> b_;
};

TEST_F(SharedTreeTest, EachSiteSendsTheOthersChangesAsTheyWereSentThere) {
  ASSERT_TRUE(Succeeded(*a_->Create("g1")));
  ASSERT_TRUE(Succeeded(*a_->Create("g2", "g1")));
  a_->AddChannels({"c1", "c2", "c3"});
  ASSERT_TRUE(Succeeded(*a_->Move("c1", "g2", 1)));
  ASSERT_TRUE(Succeeded(*a_->Create("g3", "g2")));  // goes before c1, which moves back
  auto rename = std::make_shared<GroupModel>();
  rename->groupId = "g1";
  rename->groupName = "Lobby";
  ASSERT_TRUE(Succeeded(*a_->Request(eModifyLogicalGroup, rename)));
  // c1 leaves g2, which keeps g3.
  auto* removed = new ("Vector") Vector<std::string>();
  removed->push_back("c1");
  a_->Deliver(eChannelsRemoved, removed);

  const std::vector<std::string> sent = a_->Notifications();
  ASSERT_EQ(sent.size(), 13u);
  ASSERT_TRUE(b_->AwaitNotifications(sent.size()));
  EXPECT_EQ(b_->Notifications(), sent);
  EXPECT_TRUE(Converged(*a_));
  EXPECT_TRUE(Converged(*b_));

  // And the other way round, names included.
  ASSERT_TRUE(Succeeded(*b_->Create("g4", "g1")));
  const std::vector<std::string> from_b = b_->Notifications();
  ASSERT_TRUE(a_->AwaitNotifications(from_b.size()));
  EXPECT_EQ(a_->Notifications(), from_b);
  std::unique_ptr<Event> list = a_->Deliver(eGetLogicalList, nullptr);
  auto* groups = dynamic_cast<IGroupApplication::LogicalList*>(list->GetObjectArgument());
  ASSERT_NE(groups, nullptr);
  std::map<std::string, std::string> names;
  for (const auto& group : *groups->groups) names[*group->groupId] = *group->groupName;
  EXPECT_EQ(names["g1"], "Lobby");
  EXPECT_EQ(names["g4"], "name-g4");
}

// Both sites create groups under one parent at the same moment: the store
// hands out every order once, the siblings' shifts are all kept, and both
// caches end equal to the table.
TEST_F(SharedTreeTest, CreationsUnderOneParentAtOnceGetEveryOrderOnce) {
  ASSERT_TRUE(Succeeded(*a_->Create("p")));
  a_->AddChannels({"c1", "c2", "c3", "c4"});
  for (int i = 1; i <= 4; ++i) ASSERT_TRUE(Succeeded(*a_->Move("c" + std::to_string(i), "p", i)));
  constexpr int kEach = 15;
  auto create = [](Site& site, const std::string& prefix) {
    for (int i = 0; i < kEach; ++i) {
      std::unique_ptr<Event> answer = site.Create(prefix + std::to_string(i), "p");
      EXPECT_TRUE(Succeeded(*answer)) << Failure(*answer);
    }
  };
  std::thread at_a(create, std::ref(*a_), "a");
  std::thread at_b(create, std::ref(*b_), "b");
  at_a.join();
  at_b.join();

  const Rows orders = schema_->Query(
      "SELECT type, order_ FROM logical_table WHERE parent_uuid = 'p' ORDER BY order_");
  ASSERT_EQ(orders.size(), 2u * kEach + 4);
  for (std::size_t i = 0; i < orders.size(); ++i) {
    EXPECT_EQ(orders[i][1], std::to_string(i + 1));
    EXPECT_EQ(orders[i][0], i < 2u * kEach ? "Group" : "Channel") << i;
  }
  EXPECT_TRUE(Converged(*a_));
  EXPECT_TRUE(Converged(*b_));
}

// A change whose commit the store refuses is answered as a store failure;
// nothing of it is announced anywhere, and the cache it had changed is read
// again from the store.
TEST_F(SharedTreeTest, AChangeTheStoreDoesNotCommitIsAFailureAndLeavesNoTrace) {
  a_->AddChannels({"c1", "c2"});
  ASSERT_TRUE(b_->AwaitNotifications(1));
  a_->Notifications();
  b_->Notifications();
  schema_->Exec(
      "CREATE FUNCTION " + schema_->name() +
      ".refuse() RETURNS trigger LANGUAGE plpgsql AS "
      "$$ BEGIN IF NEW.uuid LIKE 'refused%' THEN RAISE EXCEPTION 'refused at commit'; END IF; "
      "RETURN NULL; END $$;"
      "CREATE CONSTRAINT TRIGGER refuse AFTER INSERT OR UPDATE ON logical_table "
      "DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION refuse()");

  testing::internal::CaptureStdout();
  std::unique_ptr<Event> refused = a_->Create("refused", "");
  const std::string lines = testing::internal::GetCapturedStdout();
  EXPECT_EQ(Failure(*refused), "5000000 Internal Server Error");
  EXPECT_NE(lines.find("refused at commit"), std::string::npos) << lines;
  EXPECT_TRUE(a_->Notifications().empty());
  // The shift of c1 and c2 that the create made in the cache is undone.
  EXPECT_EQ(a_->Cache(), Table());
  EXPECT_EQ(Table(), (std::vector<std::string>{"c1||Channel|1", "c2||Channel|2"}));

  ASSERT_TRUE(Succeeded(*a_->Create("kept", "")));
  EXPECT_EQ(a_->Notifications().size(), 3u);
  ASSERT_TRUE(b_->AwaitNotifications(3));
  EXPECT_EQ(b_->waiting(), 3u);
  EXPECT_TRUE(Converged(*b_));
}

// The server ends every connection of both sites. The next request is made
// on a new connection and succeeds; the other site reconnects its listener
// by itself and catches up from the log.
TEST_F(SharedTreeTest, AfterTheirConnectionsWereCutBothSitesCatchUp) {
  ASSERT_TRUE(Succeeded(*a_->Create("g1")));
  ASSERT_TRUE(b_->AwaitNotifications(2));
  b_->Notifications();
  EXPECT_EQ(schema_->Disconnect(), 4);
  ASSERT_TRUE(Succeeded(*a_->Create("g2", "g1")));
  ASSERT_TRUE(Succeeded(*a_->Create("g3", "g1")));
  ASSERT_TRUE(b_->AwaitNotifications(4));
  EXPECT_EQ(b_->Notifications().size(), 4u);
  EXPECT_TRUE(Converged(*b_));
  ASSERT_TRUE(Succeeded(*b_->Create("g4")));
  EXPECT_TRUE(Converged(*a_));
}

// The store's thread sends the other site's changes as a host thread sends
// a request's: a host queue that delivers from inside that put gets a
// refusal, not a thread that waits for its own lock.
TEST_F(SharedTreeTest, ADeliveryFromInsideAForwardedNotificationIsRefused) {
  InlineListener inline_listener([&] { return b_->TryList(); });
  b_->ListenWith(&inline_listener);
  ASSERT_TRUE(Succeeded(*a_->Create("g1")));
  const std::vector<std::string> outcomes = inline_listener.AwaitOutcomes(2);
  if (outcomes.size() < 2) {
    // The store's thread hangs, and stopping the site would wait for it.
    std::fprintf(stderr, "no answer from inside the forwarded notifications after 10 s\n");
    std::abort();
  }
  for (const std::string& outcome : outcomes) {
    EXPECT_NE(outcome.find("refused"), std::string::npos) << outcome;
    EXPECT_NE(outcome.find("sending the changes of other servers"), std::string::npos) << outcome;
  }
  // Delivered from outside any put, requests are handled, on a cache that
  // took the change in.
  EXPECT_EQ(b_->TryList(), "handled");
  EXPECT_TRUE(Converged(*b_));
  b_->ListenWith(nullptr);
}

}  // namespace

}  // namespace pga
