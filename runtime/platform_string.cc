#include "runtime/platform_string.h"

#include <cstdint>
#include <cstring>
#include <ctime>
#include <utility>

namespace pga {

namespace Platform_Std_Refine {

String::String() : Container(kTypeCode, "string") {}

String::String(const char* text) : Container(kTypeCode, "string") {
  if (text != nullptr) text_ = text;
}

String::String(const char* text, std::size_t length) : Container(kTypeCode, "string") {
  if (text != nullptr) text_.assign(text, length);
}

String::String(const std::string& text) : Container(kTypeCode, "string"), text_(text) {}

String::String(unsigned int number)
    : Container(kTypeCode, "string"), text_(std::to_string(number)) {}

String::String(long long number) : Container(kTypeCode, "string"), text_(std::to_string(number)) {}

String::String(unsigned long long number)
    : Container(kTypeCode, "string"), text_(std::to_string(number)) {}

String::String(const String& other) = default;

String::String(String&& other) noexcept : Container(other), text_(std::move(other.text_)) {}

String::~String() = default;

String& String::operator=(const String& other) {
  text_ = other.text_;
  return *this;
}

String& String::operator=(String&& other) noexcept {
  text_ = std::move(other.text_);
  return *this;
}

String& String::operator=(const char* text) {
  text_ = text != nullptr ? text : "";
  return *this;
}

String& String::operator+=(const String& other) {
  text_ += other.text_;
  return *this;
}

String& String::operator+=(const char* text) {
  if (text != nullptr) text_ += text;
  return *this;
}

BaseObject* String::Clone() const { return new ("String") String(*this); }

void String::FormatTime(long long seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm local{};
  char buffer[64] = {0};
  if (localtime_r(&time, &local) != nullptr) {
    std::strftime(buffer, sizeof(buffer), "%Y-%m-%d %H:%M:%S", &local);
  }
  text_ = buffer;
}

bool operator<(const String& a, const String& b) {
  const auto length_a = static_cast<std::uint32_t>(a.str().size());
  const auto length_b = static_cast<std::uint32_t>(b.str().size());
  if (length_a != length_b) return length_a < length_b;
  if (length_a == 0) return false;
  return std::strncmp(a.c_str(), b.c_str(), length_a) < 0;
}

bool operator==(const String& a, const String& b) { return !(a < b) && !(b < a); }

}  // namespace Platform_Std_Refine

}  // namespace pga
