// Platform_Std_Refine::String: the runtime's string object. Maps keyed by it
// order shorter keys first, then equal lengths byte by byte.
#ifndef PGA_RUNTIME_PLATFORM_STRING_H_
#define PGA_RUNTIME_PLATFORM_STRING_H_

#include <cstddef>
#include <string>

#include "runtime/container.h"

namespace pga {

namespace Platform_Std_Refine {

class String : public Container {
 public:
  static constexpr unsigned long long kTypeCode = 1009000;

  // All constructors give type 1009000 and name "string".
  String();
  // Null counts as empty.
  String(const char* text);  // NOLINT: implicit by design, texts convert freely
  String(const char* text, std::size_t length);
  String(const std::string& text);  // NOLINT
  // Decimal text of the number: a leading "-" for negative values, no
  // leading zeros or spaces.
  explicit String(unsigned int number);
  explicit String(long long number);
  explicit String(unsigned long long number);
  String(const String& other);
  String(String&& other) noexcept;
  ~String() override;

  // Take the text only; this object keeps its own identity.
  String& operator=(const String& other);
  String& operator=(String&& other) noexcept;
  String& operator=(const char* text);

  String& operator+=(const String& other);
  String& operator+=(const char* text);

  // A copy allocated through the runtime allocator under the tag "String",
  // or null. The caller owns it.
  BaseObject* Clone() const override;

  const char* c_str() const { return text_.c_str(); }
  const std::string& str() const { return text_; }
  int length() const { return static_cast<int>(text_.size()); }
  bool empty() const { return text_.empty(); }

  // Sets the text to `seconds` since 1970-01-01 00:00 UTC in local time,
  // formatted "%Y-%m-%d %H:%M:%S".
  void FormatTime(long long seconds);

 private:
  std::string text_;
};

// Shorter strings first (lengths as 32-bit unsigned numbers); equal non-zero
// lengths compare as strncmp over that length.
bool operator<(const String& a, const String& b);
// Neither is less than the other.
bool operator==(const String& a, const String& b);
inline bool operator!=(const String& a, const String& b) { return !(a == b); }

}  // namespace Platform_Std_Refine

}  // namespace pga

#endif  // PGA_RUNTIME_PLATFORM_STRING_H_
