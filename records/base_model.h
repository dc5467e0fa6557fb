// Base of every JSON record of the platform (group records, device, channel,
// server... records and the notification record).
#ifndef PGA_RECORDS_BASE_MODEL_H_
#define PGA_RECORDS_BASE_MODEL_H_

#include "runtime/json_fwd.h"

namespace pga {

class BaseModel {
 public:
  using Allocator = pga_json::Allocator;

  BaseModel() = default;
  BaseModel(const BaseModel&) = default;
  BaseModel& operator=(const BaseModel&) = default;
  virtual ~BaseModel() = default;

  // Writes the record's members into `value`, a JSON object, allocating names
  // and strings from `allocator`. Does nothing in the base.
  virtual void ToJson(rapidjson::Value& value, Allocator& allocator) const {
    (void)value;
    (void)allocator;
  }

  // Reads the record's members from `value`. A value that is not an object,
  // or members of the wrong kind, never crash: the record keeps what it had
  // for every member it could not read. Does nothing in the base.
  virtual void FromJson(const rapidjson::Value& value) { (void)value; }
};

}  // namespace pga

#endif  // PGA_RECORDS_BASE_MODEL_H_
