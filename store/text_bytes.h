// Helpers for texts as raw bytes: a text of the platform or of a stored row
// may hold any bytes (NUL, invalid UTF-8). The stores must not take into
// PostgreSQL what it cannot hold, and the store tools must neither lose nor
// mangle such a text when they print or export it.
#ifndef PGA_STORE_TEXT_BYTES_H_
#define PGA_STORE_TEXT_BYTES_H_

#include <string>

namespace pga {

// True when `bytes` is well-formed UTF-8: no stray continuation bytes, no
// overlong forms, no surrogates (U+D800 to U+DFFF), nothing above U+10FFFF.
// NUL bytes are well-formed.
bool IsUtf8(const std::string& bytes);

// `bytes` as lowercase hexadecimal digits, two per byte.
std::string ToHex(const std::string& bytes);

// The bytes spelled by `hex` (an even number of hexadecimal digits, either
// case). Returns false and leaves `bytes` unspecified for anything else.
bool FromHex(const std::string& hex, std::string& bytes);

// `bytes` in double quotes for a one-line message: '"', '\' and control
// characters escaped as JSON escapes them, bytes that are not part of
// well-formed UTF-8 as \xNN. The result never holds a line end.
std::string QuoteText(const std::string& bytes);

}  // namespace pga

#endif  // PGA_STORE_TEXT_BYTES_H_
