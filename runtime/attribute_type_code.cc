#include "runtime/attribute_type_code.h"

#include <climits>
#include <cstddef>

namespace pga {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

AttributeTypeCode AttributeTypeCode::Parse(const std::string& text) {
  AttributeTypeCode code;
  std::size_t position = 0;
  while (position < text.size() && !IsDigit(text[position])) ++position;
  if (position == text.size()) {
    if (!text.empty()) code.letter = text[0];
    return code;
  }
  long long count = 0;
  for (; position < text.size() && IsDigit(text[position]); ++position) {
    // Saturate instead of overflowing: "99999999999i" must not wrap to a
    // count that happens to match an item.
    if (count <= INT_MAX) count = count * 10 + (text[position] - '0');
  }
  code.count = count > INT_MAX ? INT_MAX : static_cast<int>(count);
  if (position < text.size()) code.letter = text[position];
  return code;
}

std::string AttributeTypeCode::Format(int count, char letter) {
  std::string text = count > 1 ? std::to_string(count) : std::string();
  text += letter;
  return text;
}

}  // namespace pga
