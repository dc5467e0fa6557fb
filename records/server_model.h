// One server of the platform, with its addresses and time zone.
#ifndef PGA_RECORDS_SERVER_MODEL_H_
#define PGA_RECORDS_SERVER_MODEL_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "records/base_model.h"
#include "records/timezone_model.h"

namespace pga {

// Every field is optional; a fresh record has all of them absent.
class ServerModel : public BaseModel {
 public:
  // Writes, each when present: "serverName" (set), "ipAddress" (appended
  // array), "port", "serverId", "status", "version" (set), "timeZone"
  // (appended object), "isLoginedServer", "createdTime" (set).
  void ToJson(rapidjson::Value& value, Allocator& allocator) const override;

  // Reads the texts, the "ipAddress" list, "port" (ReadInt), a "timeZone"
  // object (into a new TimezoneModel), "isLoginedServer" (ReadBool) and
  // "createdTime" (only an integer that fits 64 signed bits). Members of the
  // wrong kind are skipped, except that "port" and "isLoginedServer" become
  // present holding 0 (false).
  void FromJson(const rapidjson::Value& value) override;

  // The record written into a new empty object, as compact JSON text.
  virtual std::string ToJsonText() const;

  // Parses `text` and reads the record from it. A text that does not parse
  // (or is nested too deep) leaves the record unchanged.
  virtual void FromJsonText(const std::string& text);

  std::optional<std::string> serverId;
  std::optional<std::string> serverName;
  std::optional<std::string> status;
  std::optional<std::vector<std::string>> ipAddress;
  std::optional<int32_t> port;
  std::optional<std::string> version;
  std::optional<TimezoneModel> timeZone;
  std::optional<bool> isLoginedServer;
  std::optional<int64_t> createdTime;
};

}  // namespace pga

#endif  // PGA_RECORDS_SERVER_MODEL_H_
