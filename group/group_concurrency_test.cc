// A host may deliver events to the component from several threads at once.
// The component serialises its group handling; afterwards the item cache and
// the store must hold exactly the same tree.
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "group/channel_list_param.h"
#include "group/group_application_test_support.h"
#include "runtime/vector.h"

namespace {

using GroupConcurrencyTest = GroupApplicationTest;

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
    cached[id] = item.ParentText() + "|" + item.name + "|" + item.type + "|" +
                 std::to_string(item.order);
  }
  std::map<std::string, std::string> stored;
  for (const auto& row : TempStoreDir::Query(
           "SELECT uuid, parent_uuid, name, type, order_ FROM logical_table")) {
    stored[row[0]] = row[1] + "|" + row[2] + "|" + row[3] + "|" + row[4];
  }
  EXPECT_EQ(cached, stored);
  // Every third round's channel was removed and took its emptied group with
  // it; the rest of the groups and channels stay.
  const int removed_rounds = kRounds / 3;
  EXPECT_EQ(stored.size(), static_cast<std::size_t>(kThreads * 2 * (kRounds - removed_rounds)));
}

}  // namespace
