#include "records/device_model.h"

#include "records/member_readers.h"
#include "records/member_writers.h"

namespace pga {

using pga_records::SetIfPresent;

void DeviceModel::ToJson(rapidjson::Value& value, Allocator& allocator) const {
  SetIfPresent(value, "deviceId", deviceId, allocator);
  SetIfPresent(value, "serverId", serverId, allocator);
  SetIfPresent(value, "deviceName", deviceName, allocator);
  SetIfPresent(value, "modelType", modelType, allocator);
  SetIfPresent(value, "serialNumber", serialNumber, allocator);
  SetIfPresent(value, "firmware", firmware, allocator);
  SetIfPresent(value, "ipAddress", ipAddress, allocator);
  SetIfPresent(value, "port", port, allocator);
  SetIfPresent(value, "macAddress", macAddress, allocator);
  SetIfPresent(value, "protocol", protocol, allocator);
  SetIfPresent(value, "model", model, allocator);
  SetIfPresent(value, "brand", brand, allocator);
  SetIfPresent(value, "isSecure", isSecure, allocator);
  SetIfPresent(value, "isDhcp", isDhcp, allocator);
  SetIfPresent(value, "loginId", loginId, allocator);
  SetIfPresent(value, "loginPassword", loginPassword, allocator);
  SetIfPresent(value, "scanUuid", scanUuid, allocator);
  SetIfPresent(value, "supportPasswordEncryption", supportPasswordEncryption, allocator);
  SetIfPresent(value, "maxChannel", maxChannel, allocator);
  SetIfPresent(value, "deletedChannel", deletedChannel, allocator);
  SetIfPresent(value, "result", result, allocator);
  SetIfPresent(value, "reason", reason, allocator);
  SetIfPresent(value, "status", status, allocator);
  SetIfPresent(value, "createdTime", createdTime, allocator);
}

void DeviceModel::FromJson(const rapidjson::Value& value) {
  using pga_records::ReadOptional;
  using pga_records::ReadOptionalText;
  ReadOptionalText(value, "deviceId", deviceId);
  ReadOptionalText(value, "serverId", serverId);
  ReadOptionalText(value, "deviceName", deviceName);
  ReadOptionalText(value, "modelType", modelType);
  ReadOptionalText(value, "serialNumber", serialNumber);
  ReadOptionalText(value, "firmware", firmware);
  ReadOptionalText(value, "ipAddress", ipAddress);
  ReadOptional(value, "port", pga_records::ReadInt, port);
  ReadOptionalText(value, "macAddress", macAddress);
  ReadOptionalText(value, "protocol", protocol);
  ReadOptionalText(value, "model", model);
  ReadOptionalText(value, "brand", brand);
  ReadOptional(value, "isSecure", pga_records::ReadBool, isSecure);
  ReadOptional(value, "isDhcp", pga_records::ReadBool, isDhcp);
  ReadOptionalText(value, "loginId", loginId);
  ReadOptionalText(value, "loginPassword", loginPassword);
  ReadOptional(value, "createdTime", pga_records::ReadInt64, createdTime);
  ReadOptionalText(value, "scanUuid", scanUuid);
  ReadOptionalText(value, "result", result);
  ReadOptionalText(value, "reason", reason);
  ReadOptionalText(value, "status", status);
}

}  // namespace pga
