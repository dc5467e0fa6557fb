// AttributeTypeCode: the "TypeCode" text of an attribute file entry, an
// optional decimal element count followed by the type letter ("i", "4i",
// "16B").
#ifndef PGA_RUNTIME_ATTRIBUTE_TYPE_CODE_H_
#define PGA_RUNTIME_ATTRIBUTE_TYPE_CODE_H_

#include <string>

namespace pga {

struct AttributeTypeCode {
  // Number of elements; 1 when the text carries no count.
  int count = 1;
  // The type letter; 'x' when the text ends before it.
  char letter = 'x';
  // Element type of a list. A type code text never carries one, so it stays
  // 'x'; it is kept to be compared with an item's sub-type in messages.
  char subTypeCode = 'x';

  // Parses `text`: the first decimal digit starts the count, which runs to
  // the first non-digit, and the letter is the character after it; without
  // a digit the letter is the first character and the count 1. A count
  // beyond the range of int is held as the largest int, so an absurd count
  // never matches a real item. Never throws.
  static AttributeTypeCode Parse(const std::string& text);

  // The text form: the count only when it is above 1, then the letter.
  static std::string Format(int count, char letter);
};

}  // namespace pga

#endif  // PGA_RUNTIME_ATTRIBUTE_TYPE_CODE_H_
