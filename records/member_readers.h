// The lenient member readers that every platform record uses to read itself
// from JSON, and the field-level helpers built on them.
#ifndef PGA_RECORDS_MEMBER_READERS_H_
#define PGA_RECORDS_MEMBER_READERS_H_

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "runtime/json.h"

namespace pga {

namespace pga_records {

// Each reader looks up the first member named `key` of `object`. A missing
// member (or an `object` that is not a JSON object) returns false and leaves
// `target` unchanged.
//
// ReadString stores the member's text (its full length, NUL characters
// included) and returns true when the member is a string; any other kind
// returns false and leaves `target` unchanged.
bool ReadString(const rapidjson::Value& object, const char* key, std::string& target);

// ReadInt, ReadFloat, ReadInt64 and ReadBool store a value of their native
// kind and return true: an integer that fits 32 signed bits, a floating-point
// number (not an integer) within float range, an integer that fits 64 signed
// bits, true or false.
//
// A string starting with "0x" is read as hexadecimal instead: each following
// character counts 0-9 for 0-9, a-f and A-F, and 0 for anything else; the
// value accumulates as value * 16 + digit in unsigned arithmetic of 32 bits
// (64 bits for ReadInt64). The result is stored (ReadBool stores whether it is
// non-zero) but the reader returns false.
//
// Any other kind returns false and leaves `target` unchanged.
bool ReadInt(const rapidjson::Value& object, const char* key, int32_t& target);
bool ReadFloat(const rapidjson::Value& object, const char* key, float& target);
bool ReadInt64(const rapidjson::Value& object, const char* key, int64_t& target);
bool ReadBool(const rapidjson::Value& object, const char* key, bool& target);

// Optional number or bool field: when `object` has member `key`, `field`
// becomes present holding whatever `reader` left in a zero-initialised
// temporary, so a member of an unusable kind gives a present zero (false).
template <typename T>
void ReadOptional(const rapidjson::Value& object, const char* key,
                  bool (*reader)(const rapidjson::Value&, const char*, T&),
                  std::optional<T>& field) {
  if (pga_json::FindMember(object, key) == nullptr) return;
  T value{};
  reader(object, key, value);
  field = value;
}

// Optional text field: a string member becomes the present value; a member of
// any other kind is skipped and `field` keeps its value.
void ReadOptionalText(const rapidjson::Value& object, const char* key,
                      std::optional<std::string>& field);

// Members that must be exactly true/false, or an integer that fits 64 signed
// bits: a member of that kind becomes the present value; a member of any
// other kind (a "0x" text included) is skipped and `field` keeps its value.
void ReadStrictBool(const rapidjson::Value& object, const char* key, std::optional<bool>& field);
void ReadStrictInt64(const rapidjson::Value& object, const char* key,
                     std::optional<int64_t>& field);

// List or set of texts: when member `key` is an array, `field` becomes
// present and empty and then receives every string element in array order
// (a set collapses duplicates); elements that are not strings are skipped.
// A member that is not an array is skipped and `field` keeps its value.
void ReadTextList(const rapidjson::Value& object, const char* key,
                  std::optional<std::vector<std::string>>& field);
void ReadTextSet(const rapidjson::Value& object, const char* key,
                 std::optional<std::set<std::string>>& field);

// First member named `key` when it is a JSON object, else nullptr.
const rapidjson::Value* FindObject(const rapidjson::Value& object, const char* key);

}  // namespace pga_records

}  // namespace pga

#endif  // PGA_RECORDS_MEMBER_READERS_H_
