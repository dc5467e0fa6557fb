#include "runtime/json.h"

#include <cstring>
#include <utility>
#include <vector>

namespace pga_json {

std::size_t Depth(const rapidjson::Value& value, std::size_t limit) {
  // Explicit stack of (value, depth) instead of recursion.
  std::vector<std::pair<const rapidjson::Value*, std::size_t>> pending;
  pending.emplace_back(&value, 0);
  std::size_t deepest = 0;
  while (!pending.empty()) {
    auto [v, depth] = pending.back();
    pending.pop_back();
    if (v->IsArray() || v->IsObject()) {
      ++depth;
      if (depth > deepest) deepest = depth;
      if (deepest > limit) return limit + 1;
      if (v->IsArray()) {
        for (const auto& element : v->GetArray()) pending.emplace_back(&element, depth);
      } else {
        for (const auto& member : v->GetObject()) pending.emplace_back(&member.value, depth);
      }
    }
  }
  return deepest;
}

bool Parse(rapidjson::Document& doc, const char* text, std::size_t length) {
  if (text == nullptr) length = 0;
  doc.Parse<kParseFlags>(text ? text : "", length);
  if (doc.HasParseError() || Depth(doc) > kMaxDepth) {
    doc.SetObject();
    return false;
  }
  return true;
}

bool WriteCompact(const rapidjson::Value& value, std::string& out) {
  if (Depth(value) > kMaxDepth) return false;
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  const bool ok = value.Accept(writer);
  out.assign(buffer.GetString(), buffer.GetSize());
  return ok;
}

const rapidjson::Value* FindMember(const rapidjson::Value& object, const char* key) {
  if (!object.IsObject()) return nullptr;
  const std::size_t length = std::strlen(key);
  for (const auto& member : object.GetObject()) {
    if (member.name.IsString() && member.name.GetStringLength() == length &&
        std::memcmp(member.name.GetString(), key, length) == 0) {
      return &member.value;
    }
  }
  return nullptr;
}

rapidjson::Value* FindMember(rapidjson::Value& object, const char* key) {
  return const_cast<rapidjson::Value*>(
      FindMember(static_cast<const rapidjson::Value&>(object), key));
}

void SetMember(rapidjson::Value& object, const char* key, rapidjson::Value value,
               rapidjson::Document::AllocatorType& allocator) {
  if (!object.IsObject()) return;
  if (rapidjson::Value* existing = FindMember(object, key)) {
    *existing = std::move(value);
    return;
  }
  AddMember(object, key, std::move(value), allocator);
}

void AddMember(rapidjson::Value& object, const char* key, rapidjson::Value value,
               rapidjson::Document::AllocatorType& allocator) {
  if (!object.IsObject()) return;
  rapidjson::Value name(key, allocator);
  object.AddMember(name, value, allocator);
}

}  // namespace pga_json
