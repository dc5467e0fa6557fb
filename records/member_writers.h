// Helpers that build JSON values from record fields and write them as
// members, either set by name (an existing member of that name is replaced)
// or appended (a second member of the same name may result).
#ifndef PGA_RECORDS_MEMBER_WRITERS_H_
#define PGA_RECORDS_MEMBER_WRITERS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "runtime/json.h"

namespace pga {

namespace pga_records {

using Allocator = rapidjson::Document::AllocatorType;

// JSON value of one field. Texts are copied into `allocator` with their full
// length; a float becomes a floating-point number.
rapidjson::Value MakeValue(const std::string& text, Allocator& allocator);
rapidjson::Value MakeValue(int32_t number, Allocator& allocator);
rapidjson::Value MakeValue(int64_t number, Allocator& allocator);
rapidjson::Value MakeValue(bool flag, Allocator& allocator);
rapidjson::Value MakeValue(float number, Allocator& allocator);

// Array of the texts of `texts` in iteration order (a set: ascending).
template <typename Texts>
rapidjson::Value MakeTextArray(const Texts& texts, Allocator& allocator) {
  rapidjson::Value array(rapidjson::kArrayType);
  for (const std::string& text : texts) array.PushBack(MakeValue(text, allocator), allocator);
  return array;
}

// Sets member `key` of `object` to `field`'s value when `field` is present.
template <typename T>
void SetIfPresent(rapidjson::Value& object, const char* key, const std::optional<T>& field,
                  Allocator& allocator) {
  if (field) pga_json::SetMember(object, key, MakeValue(*field, allocator), allocator);
}

// Sets member `key` of `object` to `value`, present or not.
template <typename T>
void Set(rapidjson::Value& object, const char* key, const T& value, Allocator& allocator) {
  pga_json::SetMember(object, key, MakeValue(value, allocator), allocator);
}

// Appends member `key` holding the array of `field`'s texts when `field` is
// present (an empty container gives an empty array).
template <typename Texts>
void AppendTextsIfPresent(rapidjson::Value& object, const char* key,
                          const std::optional<Texts>& field, Allocator& allocator) {
  if (field) pga_json::AddMember(object, key, MakeTextArray(*field, allocator), allocator);
}

}  // namespace pga_records

}  // namespace pga

#endif  // PGA_RECORDS_MEMBER_WRITERS_H_
