// AttributeValue: moves the value of an attribute between the component
// member that an AttributeItem is bound to and the "Value" of an attribute
// file entry, by the item's type letter and count.
//
// Type letters and the member type the item must point to:
//   '?' bool                  'H' std::uint16_t   'Q' std::uint64_t
//   'B' std::uint8_t          'h' std::int16_t    'q' std::int64_t
//   'b' std::int8_t           'I' std::uint32_t   'f' float
//   'c' char                  'i' std::int32_t    'd' double
//   's' std::string           'v' std::vector<std::string> (sub-type 's')
//   'm' no member: the entry carries traits only
// For 'Q' and 'q' both 64-bit spellings (long and long long) are accepted.
// With a count above 1 the pointer addresses the first of `count` elements.
#ifndef PGA_RUNTIME_ATTRIBUTE_VALUE_H_
#define PGA_RUNTIME_ATTRIBUTE_VALUE_H_

#include "runtime/attribute_item.h"
#include "runtime/json.h"

namespace pga {

class AttributeValue {
 public:
  // True for the letters of the table above.
  static bool IsKnownType(char letter);

  // True when the item's variable is a non-null pointer of the type its
  // letter names. False for 'm' and for letters outside the table.
  static bool IsBound(const AttributeItem& item);

  // Stores `value` into the bound variable. A single value (count 1) of
  // another JSON kind, or out of the member's range, leaves the member
  // unchanged. With a count above 1 `value` must be an array; its elements
  // are copied in order until `count` are copied or one does not fit. 'B',
  // 'b' and 'c' take strings of hexadecimal digits; text without digits
  // throws std::invalid_argument("invalid stoi argument"), a number beyond
  // int std::out_of_range("stoi argument out of range"), after the earlier
  // elements were stored. 'v' appends every string of an array (count 1
  // only; other elements are skipped), printing "Adding <text>" for each. Does nothing when
  // unbound.
  static void Read(const AttributeItem& item, const rapidjson::Value& value);

  // The JSON form of the bound variable: its value, or an array of `count`
  // values. 'B', 'b' and 'c' give the byte's bits as lowercase hexadecimal
  // text ("ff"), so that a negative byte reads back unchanged; a float or
  // double that is not finite gives null (JSON has no form for it). Null
  // when unbound.
  static rapidjson::Value Write(const AttributeItem& item,
                                rapidjson::Document::AllocatorType& allocator);
};

}  // namespace pga

#endif  // PGA_RUNTIME_ATTRIBUTE_VALUE_H_
