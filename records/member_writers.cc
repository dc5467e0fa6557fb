#include "records/member_writers.h"

namespace pga {

namespace pga_records {

rapidjson::Value MakeValue(const std::string& text, Allocator& allocator) {
  return rapidjson::Value(text.data(), static_cast<rapidjson::SizeType>(text.size()), allocator);
}

rapidjson::Value MakeValue(int32_t number, Allocator& /*allocator*/) {
  return rapidjson::Value(number);
}

rapidjson::Value MakeValue(int64_t number, Allocator& /*allocator*/) {
  return rapidjson::Value(static_cast<int64_t>(number));
}

rapidjson::Value MakeValue(bool flag, Allocator& /*allocator*/) { return rapidjson::Value(flag); }

rapidjson::Value MakeValue(float number, Allocator& /*allocator*/) {
  return rapidjson::Value(static_cast<double>(number));
}

}  // namespace pga_records

}  // namespace pga
