// AttributeTrait: a named extra property of an attribute, kept in the
// AttributeItem's traits as a std::any. In a file each trait is a JSON
// object with one member: {"<trait name>": <value>}.
#ifndef PGA_RUNTIME_ATTRIBUTE_TRAIT_H_
#define PGA_RUNTIME_ATTRIBUTE_TRAIT_H_

#include <any>
#include <string>

#include "runtime/json.h"

namespace pga {

class AttributeTrait {
 public:
  // Takes a trait value by its JSON kind: bool, int (32-bit), unsigned
  // (32-bit), std::int64_t, std::uint64_t, double or std::string, the first
  // that fits in that order. False for null, arrays and objects.
  static bool FromJson(const rapidjson::Value& value, std::any& out);

  // The JSON form of a trait that holds one of the types above, or long
  // long, unsigned long long, float or const char*. False for any other
  // type.
  static bool ToJson(const std::any& value, rapidjson::Value& out,
                     rapidjson::Document::AllocatorType& allocator);

  // The trait's value as an output stream writes it (a bool as 1 or 0);
  // empty for a type that ToJson refuses.
  static std::string ToText(const std::any& value);
};

}  // namespace pga

#endif  // PGA_RUNTIME_ATTRIBUTE_TRAIT_H_
