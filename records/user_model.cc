#include "records/user_model.h"

#include "records/member_readers.h"
#include "records/member_writers.h"

namespace pga {

void UserModel::ToJson(rapidjson::Value& value, Allocator& allocator) const {
  using pga_records::SetIfPresent;
  if (!userId.empty()) pga_records::Set(value, "userId", userId, allocator);
  SetIfPresent(value, "ssid", ssid, allocator);
  SetIfPresent(value, "userPassword", userPassword, allocator);
  SetIfPresent(value, "hashedPassword", hashedPassword, allocator);
  SetIfPresent(value, "firstName", firstName, allocator);
  SetIfPresent(value, "lastName", lastName, allocator);
  SetIfPresent(value, "email", email, allocator);
  SetIfPresent(value, "enabled", enabled, allocator);
  SetIfPresent(value, "roleId", roleId, allocator);
}

void UserModel::FromJson(const rapidjson::Value& value) {
  using pga_records::ReadOptionalText;
  pga_records::ReadString(value, "userId", userId);
  ReadOptionalText(value, "userPassword", userPassword);
  ReadOptionalText(value, "hashedPassword", hashedPassword);
  ReadOptionalText(value, "ssid", ssid);
  ReadOptionalText(value, "firstName", firstName);
  ReadOptionalText(value, "lastName", lastName);
  ReadOptionalText(value, "email", email);
  pga_records::ReadStrictBool(value, "enabled", enabled);
  ReadOptionalText(value, "roleId", roleId);
}

}  // namespace pga
