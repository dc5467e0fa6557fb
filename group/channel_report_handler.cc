#include "group/channel_report_handler.h"

#include <memory>
#include <set>
#include <string>
#include <utility>

#include "group/channel_list_param.h"
#include "runtime/vector.h"

namespace pga {

namespace {

constexpr std::uint32_t kChannelTable = 0;

}  // namespace

void MakeChannelItem(const ChannelModel& channel, GroupOrderModel& item) {
  item.type = kChannelType;
  if (channel.channelId) item.itemId = *channel.channelId;
  if (channel.channelName) item.name = *channel.channelName;
  if (channel.createdTime) item.createdTime = static_cast<std::uint64_t>(*channel.createdTime);
}

void ChannelReportHandler::OnChannelsAdded(Event& event) {
  auto* report = dynamic_cast<ChannelListParam*>(event.GetObjectArgument());
  if (report == nullptr) return;
  // Held while working, whatever happens to the record.
  const std::shared_ptr<ChannelModelList> channels = report->channels;
  if (channels != nullptr) AddChannels(*channels);
}

void ChannelReportHandler::AddChannels(const ChannelModelList& channels) {
  GroupOrderItems items;
  items.reserve(channels.size());
  for (const std::shared_ptr<ChannelModel>& channel : channels) {
    if (channel == nullptr) continue;
    GroupOrderModel item;
    MakeChannelItem(*channel, item);
    items.push_back(std::move(item));
  }
  service_.AddChannels(kChannelTable, items);

  GroupOrderModelList added;
  for (const GroupOrderModel& item : items)
    added.push_back(std::make_shared<GroupOrderModel>(item));
  notifier_.SendNotification(kLogicalMappingCreated, ItemsRecord(std::move(added)));
}

void ChannelReportHandler::OnChannelsRemoved(Event& event) {
  auto* ids = dynamic_cast<Vector<std::string>*>(event.GetObjectArgument());
  if (ids != nullptr) RemoveChannels(std::vector<std::string>(ids->begin(), ids->end()));
}

void ChannelReportHandler::RemoveChannels(const std::vector<std::string>& ids) {
  const std::set<std::string> parents = RemoveChannelItems(ids);
  if (!parents.empty()) RemoveEmptiedGroups(parents);
}

std::set<std::string> ChannelReportHandler::RemoveChannelItems(
    const std::vector<std::string>& ids) {
  // Parents are read before each channel goes, and judged only once every
  // channel of the event is gone and announced, each parent once, in byte
  // order. The removals of the channels are one batch of the store, and
  // those of the emptied groups another.
  std::set<std::string> parents;
  if (ids.empty()) return parents;
  GroupOrderModelList removed;
  service_.RunBatch([&] {
    for (const std::string& id : ids) {
      auto item = std::make_shared<GroupOrderModel>();
      item->itemId = id;
      removed.push_back(std::move(item));
      if (std::optional<GroupOrderModel> cached = service_.FindItem(id);
          cached && cached->parentId) {
        parents.insert(*cached->parentId);
      }
      service_.RemoveItem(kChannelTable, id);
    }
  });
  notifier_.SendNotification(kLogicalMappingDeleted, ItemsRecord(std::move(removed)));
  return parents;
}

void ChannelReportHandler::RemoveEmptiedGroups(const std::set<std::string>& parents) {
  auto groups = std::make_shared<WebsocketEventModel>();
  auto items = std::make_shared<WebsocketEventModel>();
  service_.RunBatch([&] {
    for (const std::string& parent : parents) {
      service_.RemoveEmptyGroup(parent, *groups->groups, *items->logicalItems);
    }
  });
  notifier_.SendNotification(kLogicalGroupDeleted, std::move(groups));
  notifier_.SendNotification(kLogicalMappingDeleted, std::move(items));
}

}  // namespace pga
