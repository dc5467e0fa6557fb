#include "runtime/attribute_value.h"

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace pga {

namespace {

using rapidjson::Value;
using Allocator = rapidjson::Document::AllocatorType;
using StringList = std::vector<std::string>;

template <typename T>
T* Bound(const AttributeItem& item) {
  T* const* pointer = std::any_cast<T*>(&item.variable);
  return pointer != nullptr ? *pointer : nullptr;
}

// Calls `visit` with the item's variable when it is a non-null pointer of
// one of the types Ts; answers whether it did.
template <typename... Ts, typename Visitor>
bool VisitAs(const AttributeItem& item, Visitor&& visit) {
  bool visited = false;
  auto try_one = [&](auto* pointer) {
    if (!visited && pointer != nullptr) {
      visited = true;
      visit(pointer);
    }
  };
  (try_one(Bound<Ts>(item)), ...);
  return visited;
}

// Calls `visit` with the variable of a scalar-typed item (every letter but
// 'v' and 'm'). False when the letter is not scalar or nothing fitting is
// bound.
template <typename Visitor>
bool VisitScalar(const AttributeItem& item, Visitor&& visit) {
  switch (item.typeCode) {
    case '?':
      return VisitAs<bool>(item, visit);
    case 'B':
      return VisitAs<std::uint8_t>(item, visit);
    case 'b':
      return VisitAs<std::int8_t>(item, visit);
    case 'c':
      return VisitAs<char>(item, visit);
    case 'H':
      return VisitAs<std::uint16_t>(item, visit);
    case 'h':
      return VisitAs<std::int16_t>(item, visit);
    case 'I':
      return VisitAs<std::uint32_t>(item, visit);
    case 'i':
      return VisitAs<std::int32_t>(item, visit);
    case 'Q':
      return VisitAs<unsigned long, unsigned long long>(item, visit);
    case 'q':
      return VisitAs<long, long long>(item, visit);
    case 'f':
      return VisitAs<float>(item, visit);
    case 'd':
      return VisitAs<double>(item, visit);
    case 's':
      return VisitAs<std::string>(item, visit);
    default:
      return false;
  }
}

// Hexadecimal text to int with the checks and messages of the conversion
// the file format was designed around (leading blanks, a sign and "0x" are
// allowed; trailing text is ignored).
int HexToInt(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(begin, &end, 16);
  if (end == begin) throw std::invalid_argument("invalid stoi argument");
  if (errno == ERANGE || number < INT_MIN || number > INT_MAX) {
    throw std::out_of_range("stoi argument out of range");
  }
  return static_cast<int>(number);
}

// Reading one JSON value into a member of each type: false when the value
// does not fit, leaving `out` alone.
bool FromJson(const Value& v, bool& out) {
  if (!v.IsBool()) return false;
  out = v.GetBool();
  return true;
}

template <typename Byte>
bool ByteFromJson(const Value& v, Byte& out) {
  if (!v.IsString()) return false;
  out = static_cast<Byte>(HexToInt(pga_json::GetString(v)));
  return true;
}
bool FromJson(const Value& v, unsigned char& out) { return ByteFromJson(v, out); }
bool FromJson(const Value& v, signed char& out) { return ByteFromJson(v, out); }
bool FromJson(const Value& v, char& out) { return ByteFromJson(v, out); }

bool FromJson(const Value& v, unsigned short& out) {
  if (!v.IsUint() || v.GetUint() > USHRT_MAX) return false;
  out = static_cast<unsigned short>(v.GetUint());
  return true;
}
bool FromJson(const Value& v, short& out) {
  if (!v.IsInt() || v.GetInt() < SHRT_MIN || v.GetInt() > SHRT_MAX) return false;
  out = static_cast<short>(v.GetInt());
  return true;
}
bool FromJson(const Value& v, unsigned int& out) {
  if (!v.IsUint()) return false;
  out = v.GetUint();
  return true;
}
bool FromJson(const Value& v, int& out) {
  if (!v.IsInt()) return false;
  out = v.GetInt();
  return true;
}
template <typename Unsigned64>
bool Unsigned64FromJson(const Value& v, Unsigned64& out) {
  if (!v.IsUint64()) return false;
  out = v.GetUint64();
  return true;
}
bool FromJson(const Value& v, unsigned long& out) { return Unsigned64FromJson(v, out); }
bool FromJson(const Value& v, unsigned long long& out) { return Unsigned64FromJson(v, out); }
template <typename Signed64>
bool Signed64FromJson(const Value& v, Signed64& out) {
  if (!v.IsInt64()) return false;
  out = v.GetInt64();
  return true;
}
bool FromJson(const Value& v, long& out) { return Signed64FromJson(v, out); }
bool FromJson(const Value& v, long long& out) { return Signed64FromJson(v, out); }

bool FromJson(const Value& v, float& out) {
  if (!v.IsNumber()) return false;
  const double number = v.GetDouble();
  // Converting a double beyond float's range is undefined behaviour.
  if (std::isfinite(number) && std::fabs(number) > FLT_MAX) return false;
  out = static_cast<float>(number);
  return true;
}
bool FromJson(const Value& v, double& out) {
  if (!v.IsNumber()) return false;
  out = v.GetDouble();
  return true;
}
bool FromJson(const Value& v, std::string& out) {
  if (!v.IsString()) return false;
  out = pga_json::GetString(v);
  return true;
}

template <typename T>
void ReadElements(T* first, int count, const Value& value) {
  if (count == 1) {
    T element{};
    if (FromJson(value, element)) *first = std::move(element);
    return;
  }
  if (count < 1 || !value.IsArray()) return;
  const auto elements = value.GetArray();
  for (rapidjson::SizeType i = 0; i < elements.Size() && i < static_cast<unsigned>(count); ++i) {
    T element{};
    if (!FromJson(elements[i], element)) return;
    first[i] = std::move(element);
  }
}

void AppendList(StringList* list, const Value& value) {
  if (!value.IsArray()) return;
  for (const Value& element : value.GetArray()) {
    if (!element.IsString()) continue;
    list->push_back(pga_json::GetString(element));
    std::printf("Adding %s\n", list->back().c_str());
  }
}

// Writing one member as JSON.
Value ToJson(bool x, Allocator&) { return Value(x); }
template <typename Byte>
Value ByteToJson(Byte x, Allocator& allocator) {
  char text[8];
  std::snprintf(text, sizeof(text), "%x", static_cast<unsigned>(static_cast<unsigned char>(x)));
  return Value(text, allocator);
}
Value ToJson(unsigned char x, Allocator& a) { return ByteToJson(x, a); }
Value ToJson(signed char x, Allocator& a) { return ByteToJson(x, a); }
Value ToJson(char x, Allocator& a) { return ByteToJson(x, a); }
Value ToJson(unsigned short x, Allocator&) { return Value(static_cast<unsigned>(x)); }
Value ToJson(short x, Allocator&) { return Value(static_cast<int>(x)); }
Value ToJson(unsigned int x, Allocator&) { return Value(x); }
Value ToJson(int x, Allocator&) { return Value(x); }
Value ToJson(unsigned long x, Allocator&) { return Value(static_cast<std::uint64_t>(x)); }
Value ToJson(unsigned long long x, Allocator&) { return Value(static_cast<std::uint64_t>(x)); }
Value ToJson(long x, Allocator&) { return Value(static_cast<std::int64_t>(x)); }
Value ToJson(long long x, Allocator&) { return Value(static_cast<std::int64_t>(x)); }
Value ToJson(double x, Allocator&) { return std::isfinite(x) ? Value(x) : Value(); }
Value ToJson(float x, Allocator& a) { return ToJson(static_cast<double>(x), a); }
Value ToJson(const std::string& x, Allocator& allocator) {
  return Value(x.data(), static_cast<rapidjson::SizeType>(x.size()), allocator);
}

template <typename T>
Value WriteElements(const T* first, int count, Allocator& allocator) {
  if (count == 1) return ToJson(*first, allocator);
  Value array(rapidjson::kArrayType);
  for (int i = 0; i < count; ++i) array.PushBack(ToJson(first[i], allocator), allocator);
  return array;
}

}  // namespace

bool AttributeValue::IsKnownType(char letter) {
  return letter != '\0' && std::strchr("?BbcHhIiQqfdsvm", letter) != nullptr;
}

bool AttributeValue::IsBound(const AttributeItem& item) {
  if (item.typeCode == 'v') return Bound<StringList>(item) != nullptr;
  return VisitScalar(item, [](auto*) {});
}

void AttributeValue::Read(const AttributeItem& item, const rapidjson::Value& value) {
  if (item.typeCode == 'v') {
    StringList* list = Bound<StringList>(item);
    if (list != nullptr && item.count == 1) AppendList(list, value);
    return;
  }
  VisitScalar(item, [&](auto* first) { ReadElements(first, item.count, value); });
}

rapidjson::Value AttributeValue::Write(const AttributeItem& item,
                                       rapidjson::Document::AllocatorType& allocator) {
  Value out;
  if (item.typeCode == 'v') {
    if (const StringList* list = Bound<StringList>(item)) {
      out.SetArray();
      for (const std::string& text : *list) out.PushBack(ToJson(text, allocator), allocator);
    }
    return out;
  }
  VisitScalar(item, [&](const auto* first) { out = WriteElements(first, item.count, allocator); });
  return out;
}

}  // namespace pga
