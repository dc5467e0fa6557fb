// One user of the platform. Passwords are carried as given, never checked.
#ifndef PGA_RECORDS_USER_MODEL_H_
#define PGA_RECORDS_USER_MODEL_H_

#include <optional>
#include <string>

#include "records/base_model.h"

namespace pga {

// `userId` always exists (empty in a fresh record); every other field is
// optional and absent in a fresh record.
class UserModel : public BaseModel {
 public:
  // Sets by name "userId" (only when not empty), then "ssid",
  // "userPassword", "hashedPassword", "firstName", "lastName", "email",
  // "enabled", "roleId", each when present.
  void ToJson(rapidjson::Value& value, Allocator& allocator) const override;

  // Reads the texts and "enabled" (only true or false); members of the wrong
  // kind are skipped.
  void FromJson(const rapidjson::Value& value) override;

  std::string userId;
  std::optional<std::string> userPassword;
  std::optional<std::string> hashedPassword;
  std::optional<std::string> ssid;
  std::optional<std::string> firstName;
  std::optional<std::string> lastName;
  std::optional<std::string> email;
  std::optional<bool> enabled;
  std::optional<std::string> roleId;
};

}  // namespace pga

#endif  // PGA_RECORDS_USER_MODEL_H_
