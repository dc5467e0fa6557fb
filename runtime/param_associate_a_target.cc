#include "runtime/param_associate_a_target.h"

#include <utility>

#include "runtime/json.h"
#include "runtime/object_json.h"

namespace pga {

using Platform_Std_Refine::String;
using Param = ComponentInterface::ParamAssociateATarget;

Param::ParamAssociateATarget() : BaseObject("ParamAssociateATarget") {}

Param::ParamAssociateATarget(const Param& other) = default;

Param::~ParamAssociateATarget() = default;

BlobValue& Param::Serialize(BlobValue& out) const {
  rapidjson::Document doc;
  doc.SetObject();
  auto& a = doc.GetAllocator();
  pga_json::SetMember(doc, "BaseObject", object_json::NameObject(name, a), a);
  pga_json::SetMember(doc, "group_name", rapidjson::Value(group_name.str(), a), a);
  rapidjson::Value uids(rapidjson::kArrayType);
  for (const UId& uid : target_components_uid_vector) {
    uids.PushBack(object_json::UIdObject(uid, a), a);
  }
  pga_json::SetMember(doc, "target_components_uid_vector", std::move(uids), a);
  rapidjson::Value names(rapidjson::kArrayType);
  for (const auto& entry : target_component_name_map) {
    rapidjson::Value pair(rapidjson::kObjectType);
    pga_json::SetMember(pair, "TargetUId", object_json::UIdObject(entry.first, a), a);
    pga_json::SetMember(pair, "TargetName", rapidjson::Value(entry.second.str(), a), a);
    names.PushBack(pair, a);
  }
  pga_json::SetMember(doc, "target_component_name_map", std::move(names), a);
  object_json::WriteCell(doc, name, out);
  return out;
}

void Param::Deserialize(const BlobValue& in) {
  rapidjson::Document doc;
  object_json::ParseDerivedCell(in, doc, *this);
  const rapidjson::Value* text = pga_json::FindMember(doc, "group_name");
  if (text != nullptr && text->IsString()) group_name = pga_json::GetString(*text);

  const rapidjson::Value* uids = pga_json::FindMember(doc, "target_components_uid_vector");
  if (uids != nullptr && uids->IsArray()) {
    target_components_uid_vector.clear();
    for (const auto& element : uids->GetArray()) {
      if (!element.IsObject()) continue;
      UId uid;
      object_json::ReadUIdObject(element, uid);
      target_components_uid_vector.push_back(uid);
    }
  }
  const rapidjson::Value* names = pga_json::FindMember(doc, "target_component_name_map");
  if (names != nullptr && names->IsArray()) {
    target_component_name_map.clear();
    for (const auto& element : names->GetArray()) {
      const rapidjson::Value* uid_value = pga_json::FindMember(element, "TargetUId");
      if (uid_value == nullptr || !uid_value->IsObject()) continue;
      UId uid;
      object_json::ReadUIdObject(*uid_value, uid);
      const rapidjson::Value* target_name = pga_json::FindMember(element, "TargetName");
      target_component_name_map[uid] =
          target_name != nullptr ? String(pga_json::GetString(*target_name)) : String();
    }
  }
}

}  // namespace pga
