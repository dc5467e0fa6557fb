// A host may deliver events to the component from several threads at once.
// The component serialises its group handling; afterwards the item cache and
// the store must hold exactly the same tree. A host may also deliver from
// inside a put, on the same thread: that must never hang.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "group/channel_list_param.h"
#include "group/group_application_test_support.h"
#include "runtime/exception.h"
#include "runtime/vector.h"

namespace pga {

namespace {

using GroupConcurrencyTest = GroupApplicationTest;

// Runs `body` and gives it `seconds` to finish; a body that hangs ends the
// test binary with a message instead of stalling the suite.
template <typename Body>
void WithinSeconds(int seconds, Body body) {
  std::future<void> done = std::async(std::launch::async, body);
  if (done.wait_for(std::chrono::seconds(seconds)) == std::future_status::timeout) {
    std::fprintf(stderr, "still running after %d s: a delivery hangs\n", seconds);
    std::abort();
  }
  done.get();
}

// A host queue that takes each notification and, before answering, delivers
// a request of its own into the component on the same thread, as a host
// that runs its listeners inline would. Keeps what each delivery answered.
class DeliverAtOnceQueue : public RecordingEventQueue {
 public:
  void Attach(ComponentDriver& driver) { driver_ = &driver; }
  bool PutUnordered(Event* event) override { return DeliverInside(event); }
  bool PutOrdered(Event* event) override { return DeliverInside(event); }

  std::vector<std::string> outcomes;

 private:
  bool DeliverInside(Event* notification) {
    delete notification;
    std::unique_ptr<Event> request = driver_->MakeEvent(eGetLogicalList);
    try {
      outcomes.push_back(driver_->Deliver(*request) ? "handled" : "not handled");
    } catch (const Exception& e) {
      outcomes.push_back(e.GetMessage());
    }
    return true;
  }

  ComponentDriver* driver_ = nullptr;
};

TEST_F(GroupConcurrencyTest, ThreadsDeliveringAtOnceLeaveCacheAndStoreInStep) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 25;
  auto worker = [this](int thread) {
    const std::string prefix = "t" + std::to_string(thread) + "-";
    for (int round = 0; round < kRounds; ++round) {
      const std::string group = prefix + "g" + std::to_string(round);
      const std::string channel = prefix + "c" + std::to_string(round);
      CreateGroup(group, "G", round > 0 ? std::optional<std::string>(prefix + "g0") : std::nullopt);

      auto* added = new ("ChannelListParam") ChannelListParam();
      auto record = std::make_shared<ChannelModel>();
      record->channelId = channel;
      record->createdTime = round;
      added->channels->push_back(record);
      Deliver(eChannelsAdded, added);

      auto moves = std::make_shared<GroupOrderModelList>();
      auto move = std::make_shared<GroupOrderModel>();
      move->itemId = channel;
      move->parentId = group;
      move->order = round;
      moves->push_back(move);
      Request(eModifyLogicalMapping, moves);

      if (round % 3 == 2) {
        auto* removed = new ("Vector") Vector<std::string>();
        removed->push_back(channel);
        Deliver(eChannelsRemoved, removed);
      }
      Deliver(eGetLogicalList, nullptr);
    }
  };
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) threads.emplace_back(worker, i);
  for (std::thread& thread : threads) thread.join();

  std::map<std::string, std::string> cached;
  for (const auto& [id, item] : app_->service()->GetItems()) {
    cached[id] =
        item.ParentText() + "|" + item.name + "|" + item.type + "|" + std::to_string(item.order);
  }
  std::map<std::string, std::string> stored;
  for (const auto& row :
       TempStoreDir::Query("SELECT uuid, parent_uuid, name, type, order_ FROM logical_table")) {
    stored[row[0]] = row[1] + "|" + row[2] + "|" + row[3] + "|" + row[4];
  }
  EXPECT_EQ(cached, stored);
  // Every third round's channel was removed and took its emptied group with
  // it; the rest of the groups and channels stay.
  const int removed_rounds = kRounds / 3;
  EXPECT_EQ(stored.size(), static_cast<std::size_t>(kThreads * 2 * (kRounds - removed_rounds)));
}

}  // namespace

namespace {

TEST_F(GroupConcurrencyTest, DeliveryFromInsideANotificationPutIsRefusedAndNeverHangs) {
  DeliverAtOnceQueue inline_listener;
  inline_listener.Attach(*driver_);
  app_->DeAssociateAReceiver(Platform_Std_Refine::String("DeviceListener"), UId());
  ASSERT_TRUE(driver_->AssociateReceiver("DeviceListener", inline_listener, 78));

  WithinSeconds(20, [&] {
    EXPECT_TRUE(Succeeded(*CreateGroup("g1", "First")));
    // The request delivered from inside each of the two notifications was
    // refused with a message that says why, and the group was made.
    ASSERT_EQ(inline_listener.outcomes.size(), 2u);
    for (const std::string& outcome : inline_listener.outcomes) {
      EXPECT_NE(outcome.find("refused"), std::string::npos) << outcome;
      EXPECT_NE(outcome.find("25067003"), std::string::npos) << outcome;
    }
    // Delivered from outside any put, the same request is handled.
    std::unique_ptr<Event> list = driver_->MakeEvent(eGetLogicalList);
    EXPECT_TRUE(driver_->Deliver(*list));
    EXPECT_NE(list->GetObjectArgument(), nullptr);
  });
  EXPECT_EQ(StoredRows(), (std::vector<std::string>{"g1||First|Group|1"}));
  // The fixture's stop must not reach the inline listener.
  app_->DeAssociateAReceiver(Platform_Std_Refine::String("DeviceListener"), UId());
}

}  // namespace

}  // namespace pga
