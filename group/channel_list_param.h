// The payload record of the device event "channels added" (25060016).
#ifndef PGA_GROUP_CHANNEL_LIST_PARAM_H_
#define PGA_GROUP_CHANNEL_LIST_PARAM_H_

#include <memory>

#include "records/websocket_event_model.h"
#include "runtime/base_object.h"

namespace pga {

// Carries the channels that the platform added. Allocated by the sender with
// `new ("ChannelListParam") ChannelListParam` through the host's allocator;
// the event owns it. The list is shared: the group component holds a
// reference to it while it works.
class ChannelListParam : public BaseObject {
 public:
  // Type code 1002000, name "ChannelListParam", an empty list.
  ChannelListParam();
  ~ChannelListParam() override;

  // May be null: the event then changes nothing.
  std::shared_ptr<ChannelModelList> channels;
};

}  // namespace pga

#endif  // PGA_GROUP_CHANNEL_LIST_PARAM_H_
