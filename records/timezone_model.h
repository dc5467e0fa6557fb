// A server's time zone.
#ifndef PGA_RECORDS_TIMEZONE_MODEL_H_
#define PGA_RECORDS_TIMEZONE_MODEL_H_

#include <string>

#include "records/base_model.h"

namespace pga {

// Both fields always exist; a fresh record has an empty name and no daylight
// saving time.
class TimezoneModel : public BaseModel {
 public:
  // Sets "name" and "daylightSavingTime", always.
  void ToJson(rapidjson::Value& value, Allocator& allocator) const override;

  // ReadString for "name", ReadBool for "daylightSavingTime"; a missing
  // member leaves its field unchanged.
  void FromJson(const rapidjson::Value& value) override;

  std::string name;
  bool daylightSavingTime = false;
};

}  // namespace pga

#endif  // PGA_RECORDS_TIMEZONE_MODEL_H_
