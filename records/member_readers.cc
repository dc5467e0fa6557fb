#include "records/member_readers.h"

#include <utility>

namespace pga {

namespace pga_records {
namespace {

unsigned HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  return 0;
}

// Reads a "0x..." text into `out`, wrapping in the width of `Unsigned`.
// Returns false, leaving `out` alone, when `member` is not such a text.
template <typename Unsigned>
bool ParseHexText(const rapidjson::Value& member, Unsigned& out) {
  if (!member.IsString()) return false;
  const char* text = member.GetString();
  const std::size_t length = member.GetStringLength();
  if (length < 2 || text[0] != '0' || text[1] != 'x') return false;
  Unsigned value = 0;
  for (std::size_t i = 2; i < length; ++i) {
    value = static_cast<Unsigned>(value * 16u + HexDigitValue(text[i]));
  }
  out = value;
  return true;
}

template <typename Container>
void ReadTexts(const rapidjson::Value& object, const char* key, std::optional<Container>& field) {
  const rapidjson::Value* member = pga_json::FindMember(object, key);
  if (member == nullptr || !member->IsArray()) return;
  field.emplace();
  for (const auto& element : member->GetArray()) {
    if (element.IsString()) field->insert(field->end(), pga_json::GetString(element));
  }
}

}  // namespace

bool ReadString(const rapidjson::Value& object, const char* key, std::string& target) {
  const rapidjson::Value* member = pga_json::FindMember(object, key);
  if (member == nullptr || !member->IsString()) return false;
  target = pga_json::GetString(*member);
  return true;
}

bool ReadInt(const rapidjson::Value& object, const char* key, int32_t& target) {
  const rapidjson::Value* member = pga_json::FindMember(object, key);
  if (member == nullptr) return false;
  if (member->IsInt()) {
    target = member->GetInt();
    return true;
  }
  uint32_t hex = 0;
  if (ParseHexText(*member, hex)) target = static_cast<int32_t>(hex);
  return false;
}

bool ReadFloat(const rapidjson::Value& object, const char* key, float& target) {
  const rapidjson::Value* member = pga_json::FindMember(object, key);
  if (member == nullptr) return false;
  // IsFloat: a floating-point number (never an integer) within +-3.4028234e38.
  if (member->IsFloat()) {
    target = static_cast<float>(member->GetDouble());
    return true;
  }
  uint32_t hex = 0;
  if (ParseHexText(*member, hex)) target = static_cast<float>(hex);
  return false;
}

bool ReadInt64(const rapidjson::Value& object, const char* key, int64_t& target) {
  const rapidjson::Value* member = pga_json::FindMember(object, key);
  if (member == nullptr) return false;
  if (member->IsInt64()) {
    target = member->GetInt64();
    return true;
  }
  uint64_t hex = 0;
  if (ParseHexText(*member, hex)) target = static_cast<int64_t>(hex);
  return false;
}

bool ReadBool(const rapidjson::Value& object, const char* key, bool& target) {
  const rapidjson::Value* member = pga_json::FindMember(object, key);
  if (member == nullptr) return false;
  if (member->IsBool()) {
    target = member->GetBool();
    return true;
  }
  uint32_t hex = 0;
  if (ParseHexText(*member, hex)) target = hex != 0;
  return false;
}

void ReadOptionalText(const rapidjson::Value& object, const char* key,
                      std::optional<std::string>& field) {
  std::string text;
  if (ReadString(object, key, text)) field = std::move(text);
}

void ReadStrictBool(const rapidjson::Value& object, const char* key, std::optional<bool>& field) {
  const rapidjson::Value* member = pga_json::FindMember(object, key);
  if (member != nullptr && member->IsBool()) field = member->GetBool();
}

void ReadStrictInt64(const rapidjson::Value& object, const char* key,
                     std::optional<int64_t>& field) {
  const rapidjson::Value* member = pga_json::FindMember(object, key);
  if (member != nullptr && member->IsInt64()) field = member->GetInt64();
}

void ReadTextList(const rapidjson::Value& object, const char* key,
                  std::optional<std::vector<std::string>>& field) {
  ReadTexts(object, key, field);
}

void ReadTextSet(const rapidjson::Value& object, const char* key,
                 std::optional<std::set<std::string>>& field) {
  ReadTexts(object, key, field);
}

const rapidjson::Value* FindObject(const rapidjson::Value& object, const char* key) {
  const rapidjson::Value* member = pga_json::FindMember(object, key);
  return member != nullptr && member->IsObject() ? member : nullptr;
}

}  // namespace pga_records

}  // namespace pga
