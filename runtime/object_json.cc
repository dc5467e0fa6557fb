#include "runtime/object_json.h"

#include <cstdio>
#include <cstring>

#include "runtime/base_object.h"
#include "runtime/uid.h"

namespace pga {

namespace object_json {
namespace {

const rapidjson::Value& EmptyObject() {
  static const rapidjson::Value empty(rapidjson::kObjectType);
  return empty;
}

bool IsHexText(const rapidjson::Value& value) {
  return value.IsString() && value.GetStringLength() >= 2 && value.GetString()[0] == '0' &&
         value.GetString()[1] == 'x';
}

std::string HexDigits(const rapidjson::Value& value) {
  return std::string(value.GetString() + 2, value.GetStringLength() - 2);
}

// Shared body of the 32-bit readers: signed and unsigned numbers alike.
template <typename T>
bool Read32(const rapidjson::Value* value, T& field) {
  if (value == nullptr) return false;
  if (IsHexText(*value)) {
    field = static_cast<T>(static_cast<std::uint32_t>(HexValue(HexDigits(*value))));
    return true;
  }
  if (value->IsInt()) {
    field = static_cast<T>(value->GetInt());
    return true;
  }
  if (value->IsUint()) {
    field = static_cast<T>(value->GetUint());
    return true;
  }
  return false;
}

}  // namespace

void ParseCell(const BlobValue& in, rapidjson::Document& doc) {
  doc.SetObject();
  if (in.kind != kBlobJson || in.value == nullptr) return;
  const char* text = static_cast<const char*>(in.value);
  std::size_t length = static_cast<std::size_t>(in.size);
  if (length >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) {
    text += 3;
    length -= 3;
  }
  if (!pga_json::Parse(doc, text, length) || !doc.IsObject()) doc.SetObject();
}

void WriteCell(const rapidjson::Value& doc, const char* tag, BlobValue& out) {
  std::string text;
  pga_json::WriteCompact(doc, text);
  out.kind = kBlobJson;
  out.value = nullptr;
  out.size = 0;
  char* storage = nullptr;
  if (BaseObject::allocator != nullptr) {
    try {
      storage = static_cast<char*>(BaseObject::allocator->MallocSafe(text.size() + 1, tag));
    } catch (...) {
      storage = nullptr;
    }
  }
  if (storage == nullptr) {
    std::printf(
        " char* arr = (char*)BaseObject::allocator->MallocSafe(%llu, %s); "
        "Failed!! \n",
        static_cast<unsigned long long>(text.size() + 1), tag);
    return;
  }
  std::memcpy(storage, text.data(), text.size());
  storage[text.size()] = '\0';
  out.value = storage;
  out.size = text.size();
}

void ParseDerivedCell(const BlobValue& in, rapidjson::Document& doc, RootObject& object) {
  ParseCell(in, doc);
  ReadName(BaseMember(doc), object);
}

rapidjson::Value NameObject(const char* name, Allocator& allocator) {
  rapidjson::Value object(rapidjson::kObjectType);
  pga_json::SetMember(object, "name", rapidjson::Value(name, allocator), allocator);
  return object;
}

void ReadName(const rapidjson::Value& holder, RootObject& object) {
  const rapidjson::Value* name = pga_json::FindMember(holder, "name");
  if (name == nullptr || !name->IsString()) {
    object.SetName("");
    return;
  }
  // The buffer holds a zero-terminated name: an embedded NUL ends it.
  object.SetName(pga_json::GetString(*name).c_str());
}

const rapidjson::Value& BaseMember(const rapidjson::Value& root) {
  const rapidjson::Value* base = pga_json::FindMember(root, "BaseObject");
  return (base != nullptr && base->IsObject()) ? *base : EmptyObject();
}

bool ReadUInt32(const rapidjson::Value* value, std::uint32_t& field) {
  return Read32(value, field);
}

bool ReadInt32(const rapidjson::Value* value, std::int32_t& field) { return Read32(value, field); }

bool ReadUInt64(const rapidjson::Value* value, unsigned long long& field) {
  if (value == nullptr) return false;
  if (IsHexText(*value)) {
    field = HexValue(HexDigits(*value));
    return true;
  }
  if (!value->IsUint64()) return false;
  field = value->GetUint64();
  return true;
}

bool ReadInt64(const rapidjson::Value* value, long long& field) {
  if (value == nullptr) return false;
  if (IsHexText(*value)) {
    field = static_cast<long long>(HexValue(HexDigits(*value)));
    return true;
  }
  if (!value->IsInt64()) return false;
  field = value->GetInt64();
  return true;
}

void ReadWorkingText(const rapidjson::Value& root, const char* key, std::string& working,
                     Platform_Std_Refine::String& field) {
  const rapidjson::Value* value = pga_json::FindMember(root, key);
  if (value != nullptr && value->IsString()) working = pga_json::GetString(*value);
  field = working;
}

std::uint64_t HexValue(const std::string& text) {
  std::uint64_t result = 0;
  for (char c : text) {
    std::uint64_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint64_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint64_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint64_t>(c - 'A' + 10);
    }
    result = result * 16 + digit;
  }
  return result;
}

rapidjson::Value UIdObject(const UId& uid, Allocator& allocator) {
  rapidjson::Value object(rapidjson::kObjectType);
  pga_json::SetMember(object, "BaseObject", NameObject(uid.GetName(), allocator), allocator);
  pga_json::SetMember(object, "component_id",
                      rapidjson::Value(static_cast<std::uint64_t>(uid.component_id)), allocator);
  pga_json::SetMember(object, "event_queue_ptr",
                      rapidjson::Value(static_cast<std::uint64_t>(uid.event_queue_ptr)), allocator);
  return object;
}

void ReadUIdObject(const rapidjson::Value& value, UId& uid) {
  const rapidjson::Value& object = value.IsObject() ? value : EmptyObject();
  ReadName(BaseMember(object), uid);
  ReadUInt64(pga_json::FindMember(object, "component_id"), uid.component_id);
  const rapidjson::Value* queue = pga_json::FindMember(object, "event_queue_ptr");
  if (queue == nullptr) {
    uid.event_queue_ptr = 0;
  } else if (queue->IsUint64()) {
    uid.event_queue_ptr = queue->GetUint64();
  } else if (queue->IsInt64()) {
    uid.event_queue_ptr = static_cast<unsigned long long>(queue->GetInt64());
  } else if (queue->IsDouble()) {
    // The raw 64 bits of the stored number, whatever its kind.
    const double number = queue->GetDouble();
    static_assert(sizeof(number) == sizeof(uid.event_queue_ptr), "64-bit double");
    std::memcpy(&uid.event_queue_ptr, &number, sizeof(number));
  } else {
    ReadUInt64(queue, uid.event_queue_ptr);
  }
}

}  // namespace object_json

}  // namespace pga
