#include "bench/bench_requests.h"

#include <memory>
#include <string>
#include <utility>

namespace pga {

bool Succeeded(Event& event) {
  auto* answer = dynamic_cast<GroupRequestParam*>(event.GetObjectArgument());
  return answer != nullptr && answer->succeeded;
}

GroupRequestParam* GroupRequest(GroupRequestParam::Payload payload) {
  auto* request = new ("GroupRequestParam") GroupRequestParam();
  request->payload = std::move(payload);
  return request;
}

ChannelListParam* NewChannels(std::size_t count, uint64_t batch) {
  auto* report = new ("ChannelListParam") ChannelListParam();
  for (std::size_t i = 0; i < count; ++i) {
    auto channel = std::make_shared<ChannelModel>();
    channel->channelId = BenchTree::Uuid(6, batch * count + i);
    channel->channelName = "New camera " + std::to_string(i);
    channel->createdTime = 1800000000000 + static_cast<int64_t>((i * 7919) % count);
    report->channels->push_back(std::move(channel));
  }
  return report;
}

GroupRequestParam* CrowdedChannelsBack(const BenchTree& tree) {
  auto moves = std::make_shared<GroupOrderModelList>();
  int32_t order = 21;
  for (const std::string& id : tree.crowded_channels()) {
    auto move = std::make_shared<GroupOrderModel>();
    move->itemId = id;
    move->parentId = tree.crowded_parent();
    move->order = order++;
    moves->push_back(std::move(move));
  }
  return GroupRequest(moves);
}

}  // namespace pga
