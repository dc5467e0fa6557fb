// The one way into rapidjson for the whole library. Include this header, never
// rapidjson's own: it turns rapidjson's internal assertions into exceptions
// (an assert() would abort the host process), makes every parse iterative so
// that deep nesting cannot overflow the stack while parsing (and precise, so
// that numbers do not drift), and offers the bounded helpers that the readers
// and writers share.
#ifndef PGA_RUNTIME_JSON_H_
#define PGA_RUNTIME_JSON_H_

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace pga {

namespace pga_json {

// Thrown where rapidjson would otherwise assert. Code must still check a
// value's kind before reading it: an assertion is a misuse, and the value it
// leaves behind is not worth reading.
class JsonAssertion : public std::logic_error {
 public:
  explicit JsonAssertion(const char* what) : std::logic_error(what) {}
};

}  // namespace pga_json

}  // namespace pga

#ifdef RAPIDJSON_ASSERT
#error "rapidjson was included before runtime/json.h"
#endif
#define RAPIDJSON_ASSERT(x)                                                     \
  do {                                                                          \
    if (!(x)) throw ::pga::pga_json::JsonAssertion("rapidjson assertion: " #x); \
  } while (0)
#define RAPIDJSON_PARSE_DEFAULT_FLAGS kParseIterativeFlag
// Some assertions sit inside operations that rapidjson declares noexcept
// (self-assignment of a value, a string value from a null pointer, a value of
// an unknown type), where the throw above would end the process. Declared
// without noexcept, those operations let it reach the caller like any other.
#define RAPIDJSON_HAS_CXX11_NOEXCEPT 0
#define RAPIDJSON_HAS_STDSTRING 1

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace pga {

namespace pga_json {

// Deepest nesting of arrays and objects that the library keeps and writes
// back. Writing and copying values are recursive in rapidjson, so anything
// deeper is refused when it is read instead of crashing when it is written.
constexpr std::size_t kMaxDepth = 512;

// Nesting depth of `value` (a scalar is 0, [] is 1, [[]] is 2), computed
// without recursion. Stops counting once `limit` is exceeded and returns
// limit + 1.
std::size_t Depth(const rapidjson::Value& value, std::size_t limit = kMaxDepth);

// Why a text was refused: the parser's message and the byte offset it
// names.
struct ParseFailure {
  std::string message;
  std::size_t offset = 0;
};

// Parses `length` bytes at `text` (NUL bytes inside are part of the text)
// into `doc`, iteratively, so that deep nesting cannot overflow the stack.
// Numbers are converted exactly: a number read and written back keeps its
// value. Nesting is counted while parsing, so the result needs no walk of
// its own. Returns false, leaves `doc` holding an empty object and, when
// `failure` is given, says why, when the text is not JSON, holds a number too
// big for a double, or is nested deeper than `max_depth`.
bool Parse(rapidjson::Document& doc, const char* text, std::size_t length,
           ParseFailure* failure = nullptr, std::size_t max_depth = kMaxDepth);
inline bool Parse(rapidjson::Document& doc, const std::string& text,
                  ParseFailure* failure = nullptr, std::size_t max_depth = kMaxDepth) {
  return Parse(doc, text.data(), text.size(), failure, max_depth);
}

// Writes `value` as compact JSON text. Returns false when the value cannot
// be written: with `out` unchanged when it is nested deeper than `max_depth`,
// with whatever was written before the failure for NaN or infinity.
bool WriteCompact(const rapidjson::Value& value, std::string& out,
                  std::size_t max_depth = kMaxDepth);
inline std::string ToCompact(const rapidjson::Value& value) {
  std::string out;
  WriteCompact(value, out);
  return out;
}

// Length-aware text of a string value (a JSON string may hold \u0000).
inline std::string GetString(const rapidjson::Value& value) {
  return value.IsString() ? std::string(value.GetString(), value.GetStringLength()) : std::string();
}

// First member named `key` (compared with its full length), or nullptr when
// `object` is not an object or has no such member.
const rapidjson::Value* FindMember(const rapidjson::Value& object, const char* key);
rapidjson::Value* FindMember(rapidjson::Value& object, const char* key);

// Sets member `key` of `object` to `value` when a member of that name exists,
// else appends it. Does nothing when `object` is not an object. The key is
// copied into `allocator`.
void SetMember(rapidjson::Value& object, const char* key, rapidjson::Value value,
               rapidjson::Document::AllocatorType& allocator);

// Appends member `key` without looking for an existing member of that name.
void AddMember(rapidjson::Value& object, const char* key, rapidjson::Value value,
               rapidjson::Document::AllocatorType& allocator);

// Hands the number `text` (`length` bytes of a valid JSON number, as a
// reader parsing with kParseNumbersAsStringsFlag gives it) to `handler`
// exactly: an integer that fits 64 bits by Uint, Uint64, Int or Int64 after
// its size, as rapidjson's own reading does, anything else by Double.
// Answers the handler's answer; for a number beyond a double's range sets
// `too_big` and answers false.
template <typename Handler>
bool HandleRawNumber(Handler& handler, const char* text, std::size_t length, bool& too_big) {
  const std::string number(text, length);
  if (number.find_first_of(".eE") == std::string::npos) {
    const bool minus = number[0] == '-';
    uint64_t magnitude = 0;
    bool fits = true;
    for (std::size_t i = minus ? 1 : 0; fits && i < number.size(); ++i) {
      const uint64_t digit = static_cast<uint64_t>(number[i] - '0');
      fits = magnitude <= (UINT64_MAX - digit) / 10;
      magnitude = magnitude * 10 + digit;
    }
    if (fits && !minus) {
      return magnitude <= UINT32_MAX ? handler.Uint(static_cast<unsigned>(magnitude))
                                     : handler.Uint64(magnitude);
    }
    if (fits && magnitude <= 0x80000000ULL) return handler.Int(static_cast<int>(0 - magnitude));
    if (fits && magnitude <= 0x8000000000000000ULL) {
      return handler.Int64(static_cast<int64_t>(0 - magnitude));
    }
  }
  const double value = std::strtod(number.c_str(), nullptr);
  if (std::isinf(value)) {
    too_big = true;
    return false;
  }
  return handler.Double(value);
}

}  // namespace pga_json

}  // namespace pga

#endif  // PGA_RUNTIME_JSON_H_
