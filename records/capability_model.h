// What a channel's event detectors support: motion, line crossing, virtual
// area and object detection.
#ifndef PGA_RECORDS_CAPABILITY_MODEL_H_
#define PGA_RECORDS_CAPABILITY_MODEL_H_

#include <map>
#include <optional>
#include <set>
#include <string>

#include "records/base_model.h"

namespace pga {

// One detector's capability. A plain value; `enabled` and `supported` start
// false.
struct EventCapability {
  // Sets "enabled", "supported" and (when present) "isEmptyRule" by name, then
  // appends "types" when it is present and not empty (ascending order).
  void ToJson(rapidjson::Value& value, BaseModel::Allocator& allocator) const;

  // Reads "enabled" and "supported" with ReadBool; "isEmptyRule" when it is
  // true or false; "types" when it is an array: the set is emptied and takes
  // every string element. Members of other kinds are skipped.
  void FromJson(const rapidjson::Value& value);

  bool enabled = false;
  bool supported = false;
  std::optional<bool> isEmptyRule;
  std::optional<std::set<std::string>> types;
};

// Object detection: everything of EventCapability, then which object types
// are enabled and whether detection shots are supported.
struct ObjectCapability : EventCapability {
  // The EventCapability members, then "typesEnabled" appended (one boolean
  // member per entry, ascending; {} when empty), then "detectionShotSupported"
  // set by name.
  void ToJson(rapidjson::Value& value, BaseModel::Allocator& allocator) const;

  // The EventCapability members; the boolean members of a "typesEnabled"
  // object are added to the map (a key already there keeps its value, other
  // kinds are skipped); "detectionShotSupported" with ReadBool.
  void FromJson(const rapidjson::Value& value);

  std::map<std::string, bool> typesEnabled;
  bool detectionShotSupported = false;
};

// A channel's capabilities. Inside a channel record its members stand in the
// channel's own object rather than under a member of their own.
class CapabilityModel : public BaseModel {
 public:
  // Appends "channelId" when present, then appends "capabilities": an object
  // holding "motion", "lineCrossing", "virtualArea" and "object", each when
  // present (an empty object when none is).
  void ToJson(rapidjson::Value& value, Allocator& allocator) const override;

  // Reads "channelId" (a string); from a "capabilities" object, each detector
  // found there as an object replaces its field with a freshly read one.
  void FromJson(const rapidjson::Value& value) override;

  std::optional<std::string> channelId;
  std::optional<EventCapability> motion;
  std::optional<EventCapability> lineCrossing;
  std::optional<EventCapability> virtualArea;
  std::optional<ObjectCapability> object;
};

}  // namespace pga

#endif  // PGA_RECORDS_CAPABILITY_MODEL_H_
