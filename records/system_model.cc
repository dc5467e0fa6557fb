#include "records/system_model.h"

#include <utility>

#include "records/member_readers.h"
#include "records/member_writers.h"

namespace pga {

void SystemModel::ToJson(rapidjson::Value& value, Allocator& allocator) const {
  using pga_records::SetIfPresent;
  SetIfPresent(value, "systemId", systemId, allocator);
  SetIfPresent(value, "version", version, allocator);
  SetIfPresent(value, "isCreated", isCreated, allocator);
  SetIfPresent(value, "systemName", systemName, allocator);
  if (syncProfileWithCamera) {
    rapidjson::Value settings(rapidjson::kObjectType);
    pga_records::Set(settings, "syncProfileWithCamera", *syncProfileWithCamera, allocator);
    pga_json::AddMember(value, "settings", std::move(settings), allocator);
  }
}

void SystemModel::FromJson(const rapidjson::Value& value) {
  using pga_records::ReadOptionalText;
  ReadOptionalText(value, "systemId", systemId);
  ReadOptionalText(value, "version", version);
  pga_records::ReadStrictBool(value, "isCreated", isCreated);
  ReadOptionalText(value, "systemName", systemName);
  if (const rapidjson::Value* settings = pga_records::FindObject(value, "settings")) {
    if (!syncProfileWithCamera) syncProfileWithCamera = false;
    pga_records::ReadBool(*settings, "syncProfileWithCamera", *syncProfileWithCamera);
  }
}

}  // namespace pga
