// The device events that keep the tree in step with the platform's channels:
// channels added (25060016) and channels removed (25058006).
#ifndef PGA_GROUP_CHANNEL_REPORT_HANDLER_H_
#define PGA_GROUP_CHANNEL_REPORT_HANDLER_H_

#include <set>
#include <string>
#include <vector>

#include "group/notifier.h"
#include "records/channel_model.h"
#include "records/group_model.h"
#include "runtime/event.h"
#include "store/group_service.h"

namespace pga {

// Fills `item` (a default item) from `channel`: type "Channel", and the id,
// name and creation time that the channel record has; no parent; `order`
// stays as it was until the service numbers the item.
void MakeChannelItem(const ChannelModel& channel, GroupOrderModel& item);

// Works on table 0, answers nothing in the event and never fails visibly:
// store failures are ignored and the notifications go out regardless. An
// event without the expected payload record changes nothing. Does not own
// the service or the notifier.
class ChannelReportHandler {
 public:
  ChannelReportHandler(GroupService& service, Notifier& notifier)
      : service_(service), notifier_(notifier) {}

  // Appends the added channels at the top level in order of creation time
  // and announces them in one "LogicalMappingCreated" (also when the list
  // is empty).
  void OnChannelsAdded(Event& event);
  // Removes the channels, announces them in one "LogicalMappingDeleted",
  // then removes every parent left without children, upwards, and
  // announces those in "LogicalGroupDeleted" and "LogicalMappingDeleted".
  void OnChannelsRemoved(Event& event);

  // What the two handlers do with the channels of their event.
  void AddChannels(const ChannelModelList& channels);
  void RemoveChannels(const std::vector<std::string>& ids);

  // The two halves of RemoveChannels(), for a caller that must know how the
  // first went before it runs the second: removes the channels `ids` in one
  // batch and announces them, answering the parents they had; then removes
  // those of `parents` left without children, upwards, in another batch,
  // and announces them.
  std::set<std::string> RemoveChannelItems(const std::vector<std::string>& ids);
  void RemoveEmptiedGroups(const std::set<std::string>& parents);

 private:
  GroupService& service_;
  Notifier& notifier_;
};

}  // namespace pga

#endif  // PGA_GROUP_CHANNEL_REPORT_HANDLER_H_
