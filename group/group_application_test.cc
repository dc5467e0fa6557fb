#include "group/group_application.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "doubles/recording_repository.h"
#include "group/channel_list_param.h"
#include "group/group_application_test_support.h"
#include "records/i_group_application.h"
#include "runtime/exception.h"
#include "runtime/platform_string.h"
#include "runtime/vector.h"
#include "store/sqlite_group_repository.h"

namespace pga {

namespace {

using Strings = std::vector<std::string>;

std::string Note(const std::string& type, const std::string& message) {
  return "{\"eventType\":\"" + type + "\",\"eventTimeMsec\":T,\"message\":" + message + "}";
}

class GroupRequestsTest : public GroupApplicationTest {
 protected:
  // Reports channels `ids` with creation times `times` as added.
  void AddChannels(const Strings& ids, const std::vector<long long>& times) {
    auto* report = new ("ChannelListParam") ChannelListParam();
    for (std::size_t i = 0; i < ids.size(); ++i) {
      auto channel = std::make_shared<ChannelModel>();
      channel->channelId = ids[i];
      channel->channelName = "cam " + ids[i];
      channel->createdTime = times[i];
      report->channels->push_back(channel);
    }
    Deliver(eChannelsAdded, report);
  }

  void RemoveChannels(const Strings& ids) {
    auto* list = new ("Vector") Vector<std::string>();
    for (const std::string& id : ids) list->push_back(id);
    Deliver(eChannelsRemoved, list);
  }

  void Move(const std::string& id, std::optional<std::string> parent, int order) {
    auto moves = std::make_shared<GroupOrderModelList>();
    auto move = std::make_shared<GroupOrderModel>();
    move->itemId = id;
    move->parentId = std::move(parent);
    move->order = order;
    moves->push_back(move);
    EXPECT_TRUE(Succeeded(*Request(eModifyLogicalMapping, moves)));
  }
};

// The announcements of a create and of added channels are in the end-to-end
// scripts; restart_2 shifts a stored sibling too.
TEST_F(GroupRequestsTest, CreateNumbersAfterLastGroupAndShiftsStoredSiblings) {
  CreateGroup("g1", std::nullopt);
  AddChannels({"c1", "c2"}, {20, 10});
  Notifications();
  // Items created during the run have no parent, so nothing is shifted yet:
  // g2 takes the order after g1 beside c2's equal one.
  CreateGroup("g2", "Two");
  const Strings during_run = Notifications();
  ASSERT_EQ(during_run.size(), 2u);
  EXPECT_EQ(during_run[1],
            Note("LogicalMappingCreated",
                 "{\"logicalItems\":[{\"itemId\":\"g2\",\"type\":\"Group\",\"order\":2}]}"));
  EXPECT_EQ(StoredRows(), (Strings{"c1||cam c1|Channel|3", "c2||cam c2|Channel|2",
                                   "g1||New Group|Group|1", "g2||Two|Group|2"}));

  // After a restart every top-level item carries the empty parent and is a
  // sibling: the new group goes after g2 and pushes c1 back.
  Close();
  Open();
  CreateGroup("g3", "Three");
  const Strings notes = Notifications();
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[1],
            Note("LogicalMappingCreated",
                 "{\"logicalItems\":[{\"itemId\":\"g3\",\"type\":\"Group\",\"order\":3}]}"));
  EXPECT_EQ(notes[2],
            Note("LogicalMappingModified",
                 "{\"logicalItems\":[{\"itemId\":\"c1\",\"type\":\"Channel\",\"order\":4}]}"));
  EXPECT_EQ(StoredRows(),
            (Strings{"c1||cam c1|Channel|4", "c2||cam c2|Channel|2", "g1||New Group|Group|1",
                     "g2||Two|Group|2", "g3||Three|Group|3"}));
  EXPECT_EQ(app_->service()->FindItem("c1")->order, 4);
}

// The refusals and the 32 wide characters are in the end-to-end failures
// script.
TEST_F(GroupRequestsTest, CreateTakesAThirtyTwoByteNameAndTheTimeOfHandling) {
  EXPECT_TRUE(Succeeded(*CreateGroup("a32", std::string(32, 'x'))));
  auto dated = Group("t", "dated");
  dated->createdTime = 5;
  auto event = Request(eCreateLogicalGroup, dated);
  const GroupRequestParam* answer = Answer(*event);
  ASSERT_NE(answer, nullptr);
  EXPECT_GT(*answer->Group()->createdTime, 5u);
  EXPECT_EQ(StoredRows().size(), 2u);
}

// Refusals, top-level renames and deletions are in the end-to-end scripts.
TEST_F(GroupRequestsTest, RenameAnnouncesTheCachedParent) {
  CreateGroup("g1", "One");
  CreateGroup("g2", "Two", "g1");
  Notifications();
  EXPECT_TRUE(Succeeded(*Request(eModifyLogicalGroup, Group("g2", "Deux"))));
  EXPECT_EQ(Notifications(), Strings{Note("LogicalGroupModified",
                                          "{\"groups\":[{\"groupId\":\"g2\",\"groupName\":\"Deux\","
                                          "\"parentId\":\"g1\",\"createdTime\":T}]}")});
}

TEST_F(GroupRequestsTest, MappingMovesOnlyCachedItems) {
  Move("ghost", "g1", 3);
  EXPECT_EQ(Notifications(), Strings{Note("LogicalMappingModified", "{}")});

  CreateGroup("g1", "One");
  CreateGroup("g2", "Two");
  Notifications();
  Move("g2", "g1", 7);
  EXPECT_EQ(Notifications(),
            Strings{Note("LogicalMappingModified",
                         "{\"logicalItems\":[{\"itemId\":\"g2\",\"parentId\":\"g1\","
                         "\"type\":\"Group\",\"order\":7}]}")});
  // An absent requested parent keeps the cached one; only order and parent
  // are stored.
  Move("g2", std::nullopt, 9);
  EXPECT_EQ(StoredRows(), (Strings{"g1||One|Group|1", "g2|g1|Two|Group|9"}));
}

// Removals inside groups, emptied groups going level by level, are in the
// end-to-end channels script.
TEST_F(GroupRequestsTest, ATopLevelChannelAddedDuringTheRunIsRemovedWithOneNotice) {
  AddChannels({"c3"}, {3});
  Notifications();
  RemoveChannels({"c3"});
  EXPECT_EQ(Notifications(),
            Strings{Note("LogicalMappingDeleted",
                         "{\"logicalItems\":[{\"itemId\":\"c3\",\"type\":\"\",\"order\":-1}]}")});
  EXPECT_TRUE(StoredRows().empty());
}

// The removed channels are announced before the groups they emptied are
// looked at: when the first "LogicalMappingDeleted" goes out, the channel
// is gone from the store and its groups are still there.
TEST_F(GroupRequestsTest, RemovedChannelsAreAnnouncedBeforeTheirEmptiedGroupsGo) {
  CreateGroup("g1", "One");
  CreateGroup("g2", "Two", "g1");
  AddChannels({"c1"}, {1});
  Move("c1", "g2", 1);
  Notifications();
  std::vector<Strings> stored_at_put;
  listener_.SetOnPut([&](const Event&) { stored_at_put.push_back(StoredRows()); });
  RemoveChannels({"c1"});
  listener_.SetOnPut(nullptr);
  ASSERT_EQ(stored_at_put.size(), 3u);
  EXPECT_EQ(stored_at_put[0], (Strings{"g1||One|Group|1", "g2|g1|Two|Group|1"}));
  EXPECT_TRUE(stored_at_put[1].empty());
  EXPECT_TRUE(StoredRows().empty());
}

TEST_F(GroupRequestsTest, EventsWithoutPayloadOrNotOursAreHandledAndChangeNothing) {
  for (std::uint32_t type :
       {eGetLogicalGroups, eCreateLogicalGroup, eModifyLogicalGroup, eDeleteLogicalGroup,
        eGetLogicalMappings, eModifyLogicalMapping, eChannelsRemoved, eChannelsAdded}) {
    auto event = Deliver(type, nullptr);
    EXPECT_EQ(event->GetObjectArgument(), nullptr) << type;
  }
  // A payload of another class counts as none.
  auto foreign = Deliver(eCreateLogicalGroup, new ("Vector") Vector<std::string>());
  EXPECT_NE(dynamic_cast<Vector<std::string>*>(foreign->GetObjectArgument()), nullptr);
  EXPECT_TRUE(Notifications().empty());
  EXPECT_TRUE(StoredRows().empty());

  auto channels = Deliver(eGetGroupChannels, nullptr);
  auto* none = dynamic_cast<Vector<std::string>*>(channels->GetObjectArgument());
  ASSERT_NE(none, nullptr);
  EXPECT_TRUE(none->empty());

  // A logical-list event that comes back as a reply is left alone.
  std::unique_ptr<Event> reply = driver_->MakeEvent(eGetLogicalList);
  reply->SetReplyFlag(1);
  EXPECT_TRUE(app_->ProcessAEvent(reply.get()));
  EXPECT_EQ(reply->GetObjectArgument(), nullptr);

  // 25067008 and the neighbours of the range are not group requests.
  for (std::uint32_t type : {25067008u, 25067000u, 25067010u}) {
    std::unique_ptr<Event> event = driver_->MakeEvent(type);
    testing::internal::CaptureStdout();
    try {
      app_->ProcessAEvent(event.get());
      ADD_FAILURE() << type << " was handled";
    } catch (const Exception& e) {
      EXPECT_EQ(e.GetType(), 2004005);
      EXPECT_EQ(std::string(e.GetMessage()),
                "eEventNotSupported:ExceptionID->2004005 EventID->" + std::to_string(type));
    }
    testing::internal::GetCapturedStdout();
  }
}

TEST_F(GroupRequestsTest, LostNotificationsDoNotLeakOrUndoTheChange) {
  listener_.SetMode(RecordingEventQueue::Mode::kRefuse);
  EXPECT_TRUE(Succeeded(*CreateGroup("g1", "One")));
  AddChannels({"c1"}, {1});
  RemoveChannels({"c1"});
  EXPECT_EQ(listener_.PutCalls(), 4);
  EXPECT_TRUE(Notifications().empty());
  EXPECT_EQ(StoredRows(), Strings{"g1||One|Group|1"});

  // Without storage for the notification record nothing is sent either.
  listener_.SetMode(RecordingEventQueue::Mode::kAccept);
  allocator_.FailWith(CountingAllocator::Failure::kReturnNull, "EventParam");
  EXPECT_TRUE(Succeeded(*CreateGroup("g2", "Two")));
  allocator_.FailWith(CountingAllocator::Failure::kNone);
  EXPECT_TRUE(Notifications().empty());
}

TEST_F(GroupRequestsTest, LogicalListIsTheRequestersCopy) {
  CreateGroup("g1", "One");
  AddChannels({"c1"}, {1});
  auto first = Deliver(eGetLogicalList, nullptr);
  auto* list = dynamic_cast<IGroupApplication::LogicalList*>(first->GetObjectArgument());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(first->GetBlob().GetSize(), list->GetSize());
  ASSERT_EQ(list->items->size(), 2u);
  ASSERT_EQ(list->groups->size(), 1u);
  // Changing the answer leaves the cache alone.
  list->items->front()->name = "changed";
  list->groups->front()->groupName = "changed";
  EXPECT_EQ(app_->service()->FindItem(list->items->front()->itemId)->name, "cam c1");
  EXPECT_EQ(app_->service()->FindItem("g1")->name, "One");
}

TEST_F(GroupRequestsTest, CreateWhoseBatchFailsKeepsNoRowAndTheNextOneWorks) {
  CreateGroup("P", "Parent");
  AddChannels({"c1", "c2", "c3"}, {1, 2, 3});
  for (int i = 1; i <= 3; ++i) Move("c" + std::to_string(i), "P", i);
  Notifications();
  const Strings rows = StoredRows();
  // Moving c2 back makes SQLite give up the whole transaction.
  TempStoreDir::Query(
      "CREATE TRIGGER give_up BEFORE UPDATE ON logical_table WHEN OLD.uuid = 'c2' "
      "BEGIN SELECT RAISE(ROLLBACK, 'gave up'); END");
  testing::internal::CaptureStdout();
  EXPECT_EQ(Failure(*CreateGroup("G", "Group", "P")), "5000000 Internal Server Error");
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("SqliteGroupRepository::RunBatch transaction ended by a failed write\n"),
            std::string::npos)
      << out;
  EXPECT_TRUE(Notifications().empty());
  EXPECT_EQ(StoredRows(), rows);
  // The cache took the change before the store refused it.
  EXPECT_EQ(app_->service()->FindItem("c3")->order, 4);

  TempStoreDir::Query("DROP TRIGGER give_up");
  EXPECT_TRUE(Succeeded(*CreateGroup("H", "Other", "P")));
  EXPECT_EQ(Notifications().size(), 3u);
  EXPECT_EQ(StoredRows(),
            (Strings{"H|P|Other|Group|1", "P||Parent|Group|1", "c1|P|cam c1|Channel|3",
                     "c2|P|cam c2|Channel|4", "c3|P|cam c3|Channel|5"}));
}

// The group.db store, but the removals of the ids locked by Lock() fail as
// on a lock that another program keeps on the file (a test locks every
// write of the batch it means, as a real lock fails the batch's later
// writes). The component tries kept reports again from a thread of its own
// while the test changes the lock.
class LockedRemovals : public RecordingRepository {
 public:
  LockedRemovals() : RecordingRepository(std::make_shared<SqliteGroupRepository>("group.db", 5)) {}
  bool Remove(int32_t table_key, std::string id) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (locked_.count(id) != 0) {
        met_ = true;
        return false;
      }
    }
    return RecordingRepository::Remove(table_key, std::move(id));
  }
  bool TakeLockMet() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(met_, false) | RecordingRepository::TakeLockMet();
  }
  bool CanWriteNow() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return locked_.empty();
  }
  void Lock(std::set<std::string> ids) {
    std::lock_guard<std::mutex> lock(mutex_);
    locked_ = std::move(ids);
  }

 private:
  std::mutex mutex_;
  std::set<std::string> locked_;
  bool met_ = false;
};

// A removal whose channels went (and were announced) but whose emptied
// groups met the lock waits with only the groups left: they are judged and
// announced before the next change, and the channel is not announced twice.
TEST_F(GroupRequestsTest, ARemovalWhoseGroupsMeetALockWaitsWithOnlyTheGroupsLeft) {
  Close();
  auto store = std::make_shared<LockedRemovals>();
  Open([store] { return std::make_shared<GroupService>(store); });
  CreateGroup("g1", "One");
  CreateGroup("g2", "Two", "g1");
  AddChannels({"c1"}, {1});
  Move("c1", "g2", 1);
  Notifications();
  store->Lock({"g1", "g2"});
  RemoveChannels({"c1"});
  EXPECT_EQ(Notifications(),
            Strings{Note("LogicalMappingDeleted",
                         "{\"logicalItems\":[{\"itemId\":\"c1\",\"type\":\"\",\"order\":-1}]}")});
  EXPECT_TRUE(app_->service()->FindItem("g2").has_value());
  EXPECT_EQ(StoredRows(), (Strings{"g1||One|Group|1", "g2|g1|Two|Group|1"}));

  store->Lock({});
  CreateGroup("g9", "Nine");
  const Strings notes = Notifications();
  ASSERT_EQ(notes.size(), 4u);
  EXPECT_EQ(notes[0], Note("LogicalGroupDeleted",
                           "{\"groups\":[{\"groupId\":\"g2\"},{\"groupId\":\"g1\"}]}"));
  EXPECT_NE(notes[1].find("\"g2\""), std::string::npos) << notes[1];
  EXPECT_NE(notes[2].find("LogicalGroupCreated"), std::string::npos) << notes[2];
  EXPECT_EQ(StoredRows(), (Strings{"g9||Nine|Group|1"}));
}

// A report that met a lock another program keeps on the file waits
// unannounced, and is stored and announced once the lock is gone, with no
// event to carry it: a quiet site shows its new channel all the same. A
// report that comes meanwhile joins it without meeting the lock again
// (which would hold the host's thread for the lock wait, and print).
TEST_F(GroupRequestsTest, AReportThatMetALockIsStoredOnceTheLockGoesWithoutAnotherEvent) {
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open("group.db", &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  AddChannels({"c1"}, {1});
  testing::internal::CaptureStdout();
  AddChannels({"c2"}, {2});
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  // The retries meanwhile find the lock kept and leave the reports waiting.
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_TRUE(Notifications().empty());
  EXPECT_FALSE(app_->service()->FindItem("c1").has_value());

  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  Strings notes;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (notes.size() < 2 && std::chrono::steady_clock::now() < deadline) {
    listener_.WaitForEvents(std::chrono::milliseconds(100));
    for (std::string& note : Notifications()) notes.push_back(std::move(note));
  }
  const auto added = [](const std::string& id, int order) {
    return Note("LogicalMappingCreated",
                "{\"logicalItems\":[{\"itemId\":\"" + id +
                    "\",\"type\":\"Channel\",\"order\":" + std::to_string(order) + "}]}");
  };
  EXPECT_EQ(notes, (Strings{added("c1", 1), added("c2", 2)}));
  EXPECT_EQ(StoredRows(), (Strings{"c1||cam c1|Channel|1", "c2||cam c2|Channel|2"}));
}

TEST_F(GroupApplicationTest, BaseIsBuiltBeforeTheStoreAndUndoneWhenTheStoreCannotOpen) {
  const std::size_t before = allocator_.Tags().size();
  auto unopenable = [] {
    return std::make_shared<GroupService>(
        std::make_shared<SqliteGroupRepository>("no_such_dir/group.db", 1));
  };
  EXPECT_THROW(new ("GroupApplication") GroupApplication(unopenable), std::exception);
  // The component's storage, then the base's own UId and both tables; the
  // fixture checks that every block came back.
  const Strings tags = allocator_.Tags();
  EXPECT_EQ(Strings(tags.begin() + before, tags.end()),
            (Strings{"GroupApplication", "GroupApplication", "ReceiversMap", "TargetMap"}));
}

TEST_F(GroupRequestsTest, RepeatedLifecyclesReturnEveryBlock) {
  for (int round = 0; round < 3; ++round) {
    CreateGroup("g" + std::to_string(round), "G");
    AddChannels({"c" + std::to_string(round)}, {round});
    Deliver(eGetLogicalList, nullptr);
    Close();
    EXPECT_EQ(allocator_.LiveBlocks(), 0u) << "round " << round;
    Open();
    EXPECT_EQ(app_->service()->GetItems().size(), 2u * (round + 1));
  }
}

}  // namespace

}  // namespace pga
