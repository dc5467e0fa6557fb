// The platform's change record: the systems, servers, devices, channels,
// event rules, users, layouts, groups and tree items that one notification is
// about.
#ifndef PGA_RECORDS_WEBSOCKET_EVENT_MODEL_H_
#define PGA_RECORDS_WEBSOCKET_EVENT_MODEL_H_

#include <vector>
#include <memory>

#include "records/base_model.h"
#include "records/group_model.h"
#include "records/channel_model.h"
#include "records/device_model.h"
#include "records/event_rule_model.h"
#include "records/layout_model.h"
#include "records/server_model.h"
#include "records/system_model.h"
#include "records/user_model.h"

namespace pga {

// Lists of shared records, like GroupModelList and GroupOrderModelList. A
// record may sit in several lists or notifications at once.
using SystemModelList = std::vector<std::shared_ptr<SystemModel>>;
using ServerModelList = std::vector<std::shared_ptr<ServerModel>>;
using DeviceModelList = std::vector<std::shared_ptr<DeviceModel>>;
using ChannelModelList = std::vector<std::shared_ptr<ChannelModel>>;
using EventRuleModelList = std::vector<std::shared_ptr<EventRuleModel>>;
using UserModelList = std::vector<std::shared_ptr<UserModel>>;
using LayoutModelList = std::vector<std::shared_ptr<LayoutModel>>;

// Holds nine shared lists, created empty with the record. Not copyable: a
// copy would share the lists themselves. Not thread-safe; the group
// component builds and sends a record from one thread.
class WebsocketEventModel : public BaseModel {
 public:
  WebsocketEventModel();
  WebsocketEventModel(const WebsocketEventModel&) = delete;
  WebsocketEventModel& operator=(const WebsocketEventModel&) = delete;
  ~WebsocketEventModel() override = default;

  // Appends one member per non-empty list, in member order ("systems" ...
  // "logicalItems"): an array holding each record's own ToJson output, each
  // written into a new empty object. Null records are left out.
  void ToJson(rapidjson::Value& value, Allocator& allocator) const override;

  // For each of the nine keys that `value` has as an array, appends to its
  // list one new record per element, read with the record's FromJson (an
  // element that is not an object gives a record with its defaults). Lists
  // are appended to, never replaced; a key whose value is not an array is
  // skipped, as are unknown keys.
  void FromJson(const rapidjson::Value& value) override;

  // Never null after construction; a list set to null is treated as empty
  // when writing and created again when reading.
  std::shared_ptr<SystemModelList> systems;
  std::shared_ptr<ServerModelList> servers;
  std::shared_ptr<DeviceModelList> devices;
  std::shared_ptr<ChannelModelList> channels;
  std::shared_ptr<EventRuleModelList> eventRules;
  std::shared_ptr<UserModelList> users;
  std::shared_ptr<LayoutModelList> layouts;
  std::shared_ptr<GroupModelList> groups;
  std::shared_ptr<GroupOrderModelList> logicalItems;
};

}  // namespace pga

#endif  // PGA_RECORDS_WEBSOCKET_EVENT_MODEL_H_
