#include "records/timezone_model.h"

#include "records/member_readers.h"
#include "records/member_writers.h"

namespace pga {

void TimezoneModel::ToJson(rapidjson::Value& value, Allocator& allocator) const {
  pga_records::Set(value, "name", name, allocator);
  pga_records::Set(value, "daylightSavingTime", daylightSavingTime, allocator);
}

void TimezoneModel::FromJson(const rapidjson::Value& value) {
  pga_records::ReadString(value, "name", name);
  pga_records::ReadBool(value, "daylightSavingTime", daylightSavingTime);
}

}  // namespace pga
