#include "store/text_bytes.h"

#include <cstdint>
#include <cstdio>

namespace pga {

namespace {

// Length of the well-formed UTF-8 sequence that starts at `pos`, or 0 when
// the bytes there do not form one.
std::size_t SequenceLength(const std::string& bytes, std::size_t pos) {
  const auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[pos + i]); };
  const std::uint8_t lead = at(0);
  if (lead < 0x80) return 1;
  std::size_t length;
  std::uint8_t low = 0x80;  // bounds of the second byte (the others are 80..BF)
  std::uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (pos + length > bytes.size()) return 0;
  if (at(1) < low || at(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (at(i) < 0x80 || at(i) > 0xBF) return 0;
  }
  return length;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool IsUtf8(const std::string& bytes) {
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t length = SequenceLength(bytes, pos);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

std::string ToHex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * bytes.size());
  for (char c : bytes) {
    const auto byte = static_cast<std::uint8_t>(c);
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xF];
  }
  return hex;
}

bool FromHex(const std::string& hex, std::string& bytes) {
  if (hex.size() % 2 != 0) return false;
  bytes.clear();
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]);
    const int low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes += static_cast<char>(high * 16 + low);
  }
  return true;
}

std::string QuoteText(const std::string& bytes) {
  std::string quoted = "\"";
  char escape[8];
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t length = SequenceLength(bytes, pos);
    const auto byte = static_cast<std::uint8_t>(bytes[pos]);
    if (length == 0) {
      std::snprintf(escape, sizeof(escape), "\\x%02x", byte);
      quoted += escape;
      pos += 1;
      continue;
    }
    if (byte == '"' || byte == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(byte);
    } else if (byte < 0x20 || byte == 0x7F) {
      std::snprintf(escape, sizeof(escape), "\\u%04x", byte);
      quoted += escape;
    } else {
      quoted.append(bytes, pos, length);
    }
    pos += length;
  }
  return quoted + "\"";
}

}  // namespace pga
