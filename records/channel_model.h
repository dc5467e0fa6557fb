// One video channel of a device: the leaf of the group tree.
#ifndef PGA_RECORDS_CHANNEL_MODEL_H_
#define PGA_RECORDS_CHANNEL_MODEL_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "records/base_model.h"
#include "records/capability_model.h"

namespace pga {

// Every field is optional (a fresh record has all of them absent); inside
// `imageSettings` and `ptz` only the group as a whole is, and its flags start
// false.
class ChannelModel : public BaseModel {
 public:
  struct ImageSettings {
    bool ssdr = false;
    bool whiteBalance = false;
    bool backlight = false;
    bool dayNight = false;
    bool special = false;
    bool ir = false;
    bool focus = false;
    bool exposure = false;
  };

  struct Ptz {
    bool eFlipSupported = false;
    bool autoTrackingSupported = false;
    bool continuousMoveSupported = false;
    bool areaZoomSupported = false;
    bool autoFocusSupported = false;
    bool continuousFocusSupported = false;
    bool groupSupported = false;
    bool homeSupported = false;
    bool auxCommandsSupported = false;
  };

  // Members of the "fisheye" object; written only when lensType is "Fisheye".
  struct Fisheye {
    std::optional<bool> enabled;
    std::optional<std::string> mountMode;
    std::optional<float> rotation;
    std::optional<std::string> rplNumber;
    std::optional<std::string> defaultRplNumber;
  };

  // Written only when both halves are present.
  struct Resolution {
    std::optional<int32_t> width;
    std::optional<int32_t> height;
  };

  // Writes, each when present: "channelId", "deviceId", "channelName",
  // "channelIndex", "createdTime" (set by name); "rtspPrimary",
  // "rtspSecondary" (appended); "recordingMode" (set); the capability's own
  // members (appended, so "channelId" can appear twice); "imageSettings",
  // "fisheye", "primaryResolution", "secondaryResolution", "ptz" (appended).
  // A rotation that is NaN or infinite is left out, since JSON cannot hold it.
  void ToJson(rapidjson::Value& value, Allocator& allocator) const override;

  // Reads the texts, "channelIndex" and "createdTime", the two lists, then:
  // "capabilities" (an object) replaces `capabilities` with a new record read
  // from the channel's whole object; "imageSettings" (an object) makes the
  // group present and reads its flags with ReadBool; "fisheye" (an object)
  // sets lensType to "Fisheye" and reads its members. "ptz" and the
  // resolutions are never read. Members of the wrong kind are skipped.
  void FromJson(const rapidjson::Value& value) override;

  std::optional<std::string> channelId;
  std::optional<std::string> deviceId;
  std::optional<std::string> channelName;
  std::optional<int32_t> channelIndex;
  std::optional<int64_t> createdTime;
  std::optional<std::string> recordingMode;
  std::optional<std::vector<std::string>> rtspPrimary;
  std::optional<std::vector<std::string>> rtspSecondary;
  std::optional<CapabilityModel> capabilities;
  std::optional<ImageSettings> imageSettings;
  std::optional<Ptz> ptz;
  std::optional<std::string> lensType;
  Fisheye fisheye;
  Resolution primaryResolution;
  Resolution secondaryResolution;
};

}  // namespace pga

#endif  // PGA_RECORDS_CHANNEL_MODEL_H_
