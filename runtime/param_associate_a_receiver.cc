#include "runtime/param_associate_a_receiver.h"

#include "runtime/json.h"
#include "runtime/object_json.h"

namespace pga {

using Platform_Std_Refine::String;
using Param = ComponentInterface::ParamAssociateAReceiver;

Param::ParamAssociateAReceiver() : BaseObject("ParamAssociateAReceiver") {}

Param::ParamAssociateAReceiver(const String& name, const UId& uid)
    : BaseObject("ParamAssociateAReceiver"), receiver_name(name), receiver_component_uid(uid) {}

Param::ParamAssociateAReceiver(const Param& other) = default;

Param::~ParamAssociateAReceiver() = default;

BaseObject* Param::Clone() const { return new ("ParamAssociateAReceiver") Param(*this); }

BlobValue& Param::Serialize(BlobValue& out) const {
  rapidjson::Document doc;
  doc.SetObject();
  auto& a = doc.GetAllocator();
  pga_json::SetMember(doc, "BaseObject", object_json::NameObject(name, a), a);
  pga_json::SetMember(doc, "receiver_name", rapidjson::Value(receiver_name.str(), a), a);
  pga_json::SetMember(doc, "receiver_component_uid",
                      object_json::UIdObject(receiver_component_uid, a), a);
  object_json::WriteCell(doc, name, out);
  return out;
}

void Param::Deserialize(const BlobValue& in) {
  rapidjson::Document doc;
  object_json::ParseDerivedCell(in, doc, *this);
  const rapidjson::Value* text = pga_json::FindMember(doc, "receiver_name");
  if (text != nullptr && text->IsString()) receiver_name = pga_json::GetString(*text);
  const rapidjson::Value* uid = pga_json::FindMember(doc, "receiver_component_uid");
  if (uid != nullptr && uid->IsObject()) object_json::ReadUIdObject(*uid, receiver_component_uid);
}

}  // namespace pga
