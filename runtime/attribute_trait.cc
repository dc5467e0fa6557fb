#include "runtime/attribute_trait.h"

#include <cmath>
#include <cstdint>
#include <sstream>

namespace pga {

namespace {

using rapidjson::Value;
using Allocator = rapidjson::Document::AllocatorType;

// Calls `visit` with the trait's value when it holds one of the types a
// trait can be written as; answers whether it did.
template <typename Visitor>
bool Visit(const std::any& value, Visitor&& visit) {
  bool visited = false;
  auto try_type = [&](auto* typed) {
    if (!visited && typed != nullptr) {
      visited = true;
      visit(*typed);
    }
  };
  try_type(std::any_cast<bool>(&value));
  try_type(std::any_cast<int>(&value));
  try_type(std::any_cast<unsigned>(&value));
  try_type(std::any_cast<long>(&value));
  try_type(std::any_cast<long long>(&value));
  try_type(std::any_cast<unsigned long>(&value));
  try_type(std::any_cast<unsigned long long>(&value));
  try_type(std::any_cast<double>(&value));
  try_type(std::any_cast<float>(&value));
  try_type(std::any_cast<std::string>(&value));
  if (const auto* text = std::any_cast<const char*>(&value); text != nullptr && *text != nullptr) {
    const std::string copy(*text);
    try_type(&copy);
  }
  return visited;
}

Value ToValue(bool x, Allocator&) { return Value(x); }
Value ToValue(int x, Allocator&) { return Value(x); }
Value ToValue(unsigned x, Allocator&) { return Value(x); }
Value ToValue(long x, Allocator&) { return Value(static_cast<std::int64_t>(x)); }
Value ToValue(long long x, Allocator&) { return Value(static_cast<std::int64_t>(x)); }
Value ToValue(unsigned long x, Allocator&) { return Value(static_cast<std::uint64_t>(x)); }
Value ToValue(unsigned long long x, Allocator&) { return Value(static_cast<std::uint64_t>(x)); }
// JSON has no form for NaN or infinity: such a trait is written as null.
Value ToValue(double x, Allocator&) { return std::isfinite(x) ? Value(x) : Value(); }
Value ToValue(float x, Allocator& a) { return ToValue(static_cast<double>(x), a); }
Value ToValue(const std::string& x, Allocator& allocator) {
  return Value(x.data(), static_cast<rapidjson::SizeType>(x.size()), allocator);
}

}  // namespace

bool AttributeTrait::FromJson(const rapidjson::Value& value, std::any& out) {
  if (value.IsBool()) {
    out = value.GetBool();
  } else if (value.IsInt()) {
    out = value.GetInt();
  } else if (value.IsUint()) {
    out = value.GetUint();
  } else if (value.IsInt64()) {
    out = static_cast<std::int64_t>(value.GetInt64());
  } else if (value.IsUint64()) {
    out = static_cast<std::uint64_t>(value.GetUint64());
  } else if (value.IsDouble()) {
    out = value.GetDouble();
  } else if (value.IsString()) {
    out = pga_json::GetString(value);
  } else {
    return false;
  }
  return true;
}

bool AttributeTrait::ToJson(const std::any& value, rapidjson::Value& out,
                            rapidjson::Document::AllocatorType& allocator) {
  return Visit(value, [&](const auto& typed) { out = ToValue(typed, allocator); });
}

std::string AttributeTrait::ToText(const std::any& value) {
  std::ostringstream text;
  Visit(value, [&](const auto& typed) { text << typed; });
  return text.str();
}

}  // namespace pga
