// The event types that the group component handles itself: the group
// requests, the store-clearing event and the channel reports. Hosts and
// other components send them.
#ifndef PGA_GROUP_GROUP_EVENT_TYPE_H_
#define PGA_GROUP_GROUP_EVENT_TYPE_H_

#include <cstdint>

namespace pga {

enum EGroupEventType : std::uint32_t {
  eGetLogicalList = 25067001,
  eGetLogicalGroups = 25067002,
  eCreateLogicalGroup = 25067003,
  eModifyLogicalGroup = 25067004,
  eDeleteLogicalGroup = 25067005,
  eGetLogicalMappings = 25067006,
  eModifyLogicalMapping = 25067007,
  // 25067008 is not a group request: it gets the runtime's default handling.
  eGetGroupChannels = 25067009,
  eClearLogicalGroups = 25058001,
  eChannelsRemoved = 25058006,
  eChannelsAdded = 25060016,
};

}  // namespace pga

#endif  // PGA_GROUP_GROUP_EVENT_TYPE_H_
