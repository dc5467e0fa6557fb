// One camera device of the platform, reachable at an address.
#ifndef PGA_RECORDS_DEVICE_MODEL_H_
#define PGA_RECORDS_DEVICE_MODEL_H_

#include <cstdint>
#include <optional>
#include <string>

#include "records/base_model.h"

namespace pga {

// Every field is optional; a fresh record has all of them absent.
class DeviceModel : public BaseModel {
 public:
  // Sets every present field by name (an empty text too), in the order
  // deviceId ... status, createdTime last.
  void ToJson(rapidjson::Value& value, Allocator& allocator) const override;

  // Reads every field except supportPasswordEncryption, maxChannel and
  // deletedChannel, which are written only. A text member that is not a
  // string is skipped; a number or bool member of an unusable kind still
  // makes its field present, holding 0 (false).
  void FromJson(const rapidjson::Value& value) override;

  std::optional<std::string> deviceId;
  std::optional<std::string> serverId;
  std::optional<std::string> deviceName;
  std::optional<std::string> modelType;
  std::optional<std::string> serialNumber;
  std::optional<std::string> firmware;
  std::optional<std::string> ipAddress;
  std::optional<int32_t> port;
  std::optional<std::string> macAddress;
  std::optional<std::string> protocol;
  std::optional<std::string> model;
  std::optional<std::string> brand;
  std::optional<bool> isSecure;
  std::optional<bool> isDhcp;
  std::optional<std::string> loginId;
  std::optional<std::string> loginPassword;
  std::optional<int64_t> createdTime;
  std::optional<std::string> scanUuid;
  std::optional<bool> supportPasswordEncryption;
  std::optional<int32_t> maxChannel;
  std::optional<int32_t> deletedChannel;
  std::optional<std::string> result;
  std::optional<std::string> reason;
  std::optional<std::string> status;
};

}  // namespace pga

#endif  // PGA_RECORDS_DEVICE_MODEL_H_
