#include "records/capability_model.h"

#include <utility>

#include "records/member_readers.h"
#include "records/member_writers.h"

namespace pga {

namespace {

using pga_records::FindObject;

// Writes `capability` into a new object appended to `object` as `key`.
template <typename Capability>
void AppendCapability(rapidjson::Value& object, const char* key,
                      const std::optional<Capability>& capability,
                      BaseModel::Allocator& allocator) {
  if (!capability) return;
  rapidjson::Value written(rapidjson::kObjectType);
  capability->ToJson(written, allocator);
  pga_json::AddMember(object, key, std::move(written), allocator);
}

// Replaces `capability` with one freshly read from member `key` of `object`
// when that member is an object.
template <typename Capability>
void ReadCapability(const rapidjson::Value& object, const char* key,
                    std::optional<Capability>& capability) {
  const rapidjson::Value* member = FindObject(object, key);
  if (member == nullptr) return;
  capability.emplace();
  capability->FromJson(*member);
}

}  // namespace

void EventCapability::ToJson(rapidjson::Value& value, BaseModel::Allocator& allocator) const {
  pga_records::Set(value, "enabled", enabled, allocator);
  pga_records::Set(value, "supported", supported, allocator);
  pga_records::SetIfPresent(value, "isEmptyRule", isEmptyRule, allocator);
  if (types && !types->empty()) {
    pga_json::AddMember(value, "types", pga_records::MakeTextArray(*types, allocator), allocator);
  }
}

void EventCapability::FromJson(const rapidjson::Value& value) {
  pga_records::ReadBool(value, "enabled", enabled);
  pga_records::ReadBool(value, "supported", supported);
  pga_records::ReadStrictBool(value, "isEmptyRule", isEmptyRule);
  pga_records::ReadTextSet(value, "types", types);
}

void ObjectCapability::ToJson(rapidjson::Value& value, BaseModel::Allocator& allocator) const {
  EventCapability::ToJson(value, allocator);
  rapidjson::Value enabled_types(rapidjson::kObjectType);
  // The map's keys are unique, so appending each entry is the same as setting
  // it by name; appending keeps a key's full length (it may hold a NUL).
  for (const auto& [type, type_enabled] : typesEnabled) {
    enabled_types.AddMember(pga_records::MakeValue(type, allocator), rapidjson::Value(type_enabled),
                            allocator);
  }
  pga_json::AddMember(value, "typesEnabled", std::move(enabled_types), allocator);
  pga_records::Set(value, "detectionShotSupported", detectionShotSupported, allocator);
}

void ObjectCapability::FromJson(const rapidjson::Value& value) {
  EventCapability::FromJson(value);
  if (const rapidjson::Value* enabled_types = FindObject(value, "typesEnabled")) {
    for (const auto& member : enabled_types->GetObject()) {
      if (member.name.IsString() && member.value.IsBool()) {
        typesEnabled.emplace(pga_json::GetString(member.name), member.value.GetBool());
      }
    }
  }
  pga_records::ReadBool(value, "detectionShotSupported", detectionShotSupported);
}

void CapabilityModel::ToJson(rapidjson::Value& value, Allocator& allocator) const {
  if (channelId) {
    pga_json::AddMember(value, "channelId", pga_records::MakeValue(*channelId, allocator),
                        allocator);
  }
  rapidjson::Value capabilities(rapidjson::kObjectType);
  AppendCapability(capabilities, "motion", motion, allocator);
  AppendCapability(capabilities, "lineCrossing", lineCrossing, allocator);
  AppendCapability(capabilities, "virtualArea", virtualArea, allocator);
  AppendCapability(capabilities, "object", object, allocator);
  pga_json::AddMember(value, "capabilities", std::move(capabilities), allocator);
}

void CapabilityModel::FromJson(const rapidjson::Value& value) {
  pga_records::ReadOptionalText(value, "channelId", channelId);
  const rapidjson::Value* capabilities = FindObject(value, "capabilities");
  if (capabilities == nullptr) return;
  ReadCapability(*capabilities, "motion", motion);
  ReadCapability(*capabilities, "lineCrossing", lineCrossing);
  ReadCapability(*capabilities, "virtualArea", virtualArea);
  ReadCapability(*capabilities, "object", object);
}

}  // namespace pga
