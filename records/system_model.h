// The platform's system: its id, version and name, and one setting.
#ifndef PGA_RECORDS_SYSTEM_MODEL_H_
#define PGA_RECORDS_SYSTEM_MODEL_H_

#include <optional>
#include <string>

#include "records/base_model.h"

namespace pga {

// Every field is optional; a fresh record has all of them absent.
class SystemModel : public BaseModel {
 public:
  // Sets "systemId", "version", "isCreated", "systemName" when present, then
  // appends "settings" ({"syncProfileWithCamera": bool}) when
  // syncProfileWithCamera is present.
  void ToJson(rapidjson::Value& value, Allocator& allocator) const override;

  // Reads the texts and "isCreated" (only true or false); a "settings" object
  // makes syncProfileWithCamera present (false unless it was present before)
  // and reads it with ReadBool. Members of the wrong kind are skipped.
  void FromJson(const rapidjson::Value& value) override;

  std::optional<std::string> systemId;
  std::optional<bool> isCreated;
  std::optional<std::string> version;
  std::optional<std::string> systemName;
  std::optional<bool> syncProfileWithCamera;
};

}  // namespace pga

#endif  // PGA_RECORDS_SYSTEM_MODEL_H_
