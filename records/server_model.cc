#include "records/server_model.h"

#include <utility>

#include "records/member_readers.h"
#include "records/member_writers.h"

namespace pga {

void ServerModel::ToJson(rapidjson::Value& value, Allocator& allocator) const {
  using pga_records::SetIfPresent;
  SetIfPresent(value, "serverName", serverName, allocator);
  pga_records::AppendTextsIfPresent(value, "ipAddress", ipAddress, allocator);
  SetIfPresent(value, "port", port, allocator);
  SetIfPresent(value, "serverId", serverId, allocator);
  SetIfPresent(value, "status", status, allocator);
  SetIfPresent(value, "version", version, allocator);
  if (timeZone) {
    rapidjson::Value zone(rapidjson::kObjectType);
    timeZone->ToJson(zone, allocator);
    pga_json::AddMember(value, "timeZone", std::move(zone), allocator);
  }
  SetIfPresent(value, "isLoginedServer", isLoginedServer, allocator);
  SetIfPresent(value, "createdTime", createdTime, allocator);
}

void ServerModel::FromJson(const rapidjson::Value& value) {
  using pga_records::ReadOptional;
  using pga_records::ReadOptionalText;
  ReadOptionalText(value, "serverName", serverName);
  pga_records::ReadTextList(value, "ipAddress", ipAddress);
  ReadOptional(value, "port", pga_records::ReadInt, port);
  ReadOptionalText(value, "serverId", serverId);
  ReadOptionalText(value, "status", status);
  ReadOptionalText(value, "version", version);
  if (const rapidjson::Value* zone = pga_records::FindObject(value, "timeZone")) {
    timeZone.emplace();
    timeZone->FromJson(*zone);
  }
  ReadOptional(value, "isLoginedServer", pga_records::ReadBool, isLoginedServer);
  pga_records::ReadStrictInt64(value, "createdTime", createdTime);
}

std::string ServerModel::ToJsonText() const {
  rapidjson::Document doc(rapidjson::kObjectType);
  ToJson(doc, doc.GetAllocator());
  return pga_json::ToCompact(doc);
}

void ServerModel::FromJsonText(const std::string& text) {
  // A failed parse leaves `doc` an empty object, from which nothing is read.
  rapidjson::Document doc(rapidjson::kObjectType);
  pga_json::Parse(doc, text);
  FromJson(doc);
}

}  // namespace pga
