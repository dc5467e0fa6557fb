// The one way into rapidjson for the whole library. Include this header, never
// rapidjson's own: it turns rapidjson's internal assertions into exceptions
// (an assert() would abort the host process), makes every parse iterative so
// that deep nesting cannot overflow the stack while parsing (and precise, so
// that numbers do not drift), and offers the bounded helpers that the readers
// and writers share.
#ifndef PGA_RUNTIME_JSON_H_
#define PGA_RUNTIME_JSON_H_

#include <cstddef>
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
  return value.IsString() ? std::string(value.GetString(), value.GetStringLength())
                          : std::string();
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

}  // namespace pga_json

}  // namespace pga

#endif  // PGA_RUNTIME_JSON_H_
