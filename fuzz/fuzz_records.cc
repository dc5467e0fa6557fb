// Feeds arbitrary JSON to every record's FromJson and writes it back with
// ToJson: no crash, and a settled round trip.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "records/group_model.h"
#include "records/capability_model.h"
#include "records/channel_model.h"
#include "records/device_model.h"
#include "records/event_rule_model.h"
#include "records/i_device_listener.h"
#include "records/layout_model.h"
#include "records/server_model.h"
#include "records/system_model.h"
#include "records/timezone_model.h"
#include "records/user_model.h"
#include "records/websocket_event_model.h"
#include "runtime/json.h"

namespace pga {

namespace {

template <typename Record>
std::string ReadWrite(const std::string& text) {
  rapidjson::Document in;
  pga_json::Parse(in, text);
  Record record;
  record.FromJson(in);
  rapidjson::Document out;
  out.SetObject();
  record.ToJson(out, out.GetAllocator());
  std::string written;
  fuzz::Check(pga_json::WriteCompact(out, written), "a record wrote what JSON cannot hold");
  return written;
}

template <typename Record>
void Exercise(const std::string& text) {
  fuzz::CheckSettles(text, ReadWrite<Record>);
}

// A notification whose change record was read from `text`, as listeners
// receive it.
std::string Notification(const std::string& text) {
  rapidjson::Document in;
  pga_json::Parse(in, text);
  IDeviceListener::EventParam param;
  param.eventType = "LogicalMappingCreated";
  param.message = std::make_shared<WebsocketEventModel>();
  param.message->FromJson(in);
  return param.ToJsonText();
}

}  // namespace

}  // namespace pga

using namespace pga;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Allocator();
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 15) {
    case 0: Exercise<GroupModel>(text); break;
    case 1: Exercise<GroupOrderModel>(text); break;
    case 2: Exercise<DeviceModel>(text); break;
    case 3: Exercise<ChannelModel>(text); break;
    case 4: Exercise<CapabilityModel>(text); break;
    case 5: Exercise<SystemModel>(text); break;
    case 6: Exercise<TimezoneModel>(text); break;
    case 7: Exercise<ServerModel>(text); break;
    case 8: Exercise<UserModel>(text); break;
    case 9: Exercise<LayoutModel>(text); break;
    case 10: Exercise<EventRuleModel>(text); break;
    case 11: Exercise<WebsocketEventModel>(text); break;
    case 12: {
      ServerModel server;
      server.FromJsonText(text);
      server.FromJsonText(server.ToJsonText());
      break;
    }
    case 13: Notification(text); break;
    default: {
      // The notification record read from a notification's own "message".
      rapidjson::Document doc;
      pga_json::Parse(doc, text);
      const rapidjson::Value* message = pga_json::FindMember(doc, "message");
      WebsocketEventModel record;
      if (message != nullptr) record.FromJson(*message);
      break;
    }
  }
  return 0;
}
