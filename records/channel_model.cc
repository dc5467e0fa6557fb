#include "records/channel_model.h"

#include <cmath>
#include <utility>

#include "records/member_readers.h"
#include "records/member_writers.h"

namespace pga {

namespace {

using pga_records::SetIfPresent;

constexpr char kFisheye[] = "Fisheye";

void AppendImageSettings(rapidjson::Value& value, const ChannelModel::ImageSettings& flags,
                         BaseModel::Allocator& allocator) {
  using pga_records::Set;
  rapidjson::Value object(rapidjson::kObjectType);
  Set(object, "ssdr", flags.ssdr, allocator);
  Set(object, "whiteBalance", flags.whiteBalance, allocator);
  Set(object, "backlight", flags.backlight, allocator);
  Set(object, "dayNight", flags.dayNight, allocator);
  Set(object, "special", flags.special, allocator);
  Set(object, "ir", flags.ir, allocator);
  Set(object, "focus", flags.focus, allocator);
  Set(object, "exposure", flags.exposure, allocator);
  pga_json::AddMember(value, "imageSettings", std::move(object), allocator);
}

void AppendPtz(rapidjson::Value& value, const ChannelModel::Ptz& flags,
               BaseModel::Allocator& allocator) {
  using pga_records::Set;
  rapidjson::Value object(rapidjson::kObjectType);
  Set(object, "eFlipSupported", flags.eFlipSupported, allocator);
  Set(object, "autoTrackingSupported", flags.autoTrackingSupported, allocator);
  Set(object, "continuousMoveSupported", flags.continuousMoveSupported, allocator);
  Set(object, "areaZoomSupported", flags.areaZoomSupported, allocator);
  Set(object, "autoFocusSupported", flags.autoFocusSupported, allocator);
  Set(object, "continuousFocusSupported", flags.continuousFocusSupported, allocator);
  Set(object, "groupSupported", flags.groupSupported, allocator);
  Set(object, "homeSupported", flags.homeSupported, allocator);
  Set(object, "auxCommandsSupported", flags.auxCommandsSupported, allocator);
  pga_json::AddMember(value, "ptz", std::move(object), allocator);
}

void AppendFisheye(rapidjson::Value& value, const ChannelModel::Fisheye& fisheye,
                   BaseModel::Allocator& allocator) {
  rapidjson::Value object(rapidjson::kObjectType);
  SetIfPresent(object, "enabled", fisheye.enabled, allocator);
  SetIfPresent(object, "mountMode", fisheye.mountMode, allocator);
  if (fisheye.rotation && std::isfinite(*fisheye.rotation)) {
    SetIfPresent(object, "rotation", fisheye.rotation, allocator);
  }
  SetIfPresent(object, "rplNumber", fisheye.rplNumber, allocator);
  SetIfPresent(object, "defaultRplNumber", fisheye.defaultRplNumber, allocator);
  pga_json::AddMember(value, "fisheye", std::move(object), allocator);
}

void AppendResolution(rapidjson::Value& value, const char* key,
                      const ChannelModel::Resolution& resolution, BaseModel::Allocator& allocator) {
  if (!resolution.width || !resolution.height) return;
  rapidjson::Value object(rapidjson::kObjectType);
  SetIfPresent(object, "width", resolution.width, allocator);
  SetIfPresent(object, "height", resolution.height, allocator);
  pga_json::AddMember(value, key, std::move(object), allocator);
}

void ReadImageSettings(const rapidjson::Value& object, ChannelModel::ImageSettings& flags) {
  using pga_records::ReadBool;
  ReadBool(object, "ssdr", flags.ssdr);
  ReadBool(object, "whiteBalance", flags.whiteBalance);
  ReadBool(object, "backlight", flags.backlight);
  ReadBool(object, "dayNight", flags.dayNight);
  ReadBool(object, "special", flags.special);
  ReadBool(object, "ir", flags.ir);
  ReadBool(object, "focus", flags.focus);
  ReadBool(object, "exposure", flags.exposure);
}

void ReadFisheye(const rapidjson::Value& object, ChannelModel::Fisheye& fisheye) {
  using pga_records::ReadOptional;
  using pga_records::ReadOptionalText;
  ReadOptional(object, "enabled", pga_records::ReadBool, fisheye.enabled);
  ReadOptionalText(object, "mountMode", fisheye.mountMode);
  ReadOptional(object, "rotation", pga_records::ReadFloat, fisheye.rotation);
  ReadOptionalText(object, "rplNumber", fisheye.rplNumber);
  ReadOptionalText(object, "defaultRplNumber", fisheye.defaultRplNumber);
}

}  // namespace

void ChannelModel::ToJson(rapidjson::Value& value, Allocator& allocator) const {
  SetIfPresent(value, "channelId", channelId, allocator);
  SetIfPresent(value, "deviceId", deviceId, allocator);
  SetIfPresent(value, "channelName", channelName, allocator);
  SetIfPresent(value, "channelIndex", channelIndex, allocator);
  SetIfPresent(value, "createdTime", createdTime, allocator);
  pga_records::AppendTextsIfPresent(value, "rtspPrimary", rtspPrimary, allocator);
  pga_records::AppendTextsIfPresent(value, "rtspSecondary", rtspSecondary, allocator);
  SetIfPresent(value, "recordingMode", recordingMode, allocator);
  if (capabilities) capabilities->ToJson(value, allocator);
  if (imageSettings) AppendImageSettings(value, *imageSettings, allocator);
  if (lensType == kFisheye) AppendFisheye(value, fisheye, allocator);
  AppendResolution(value, "primaryResolution", primaryResolution, allocator);
  AppendResolution(value, "secondaryResolution", secondaryResolution, allocator);
  if (ptz) AppendPtz(value, *ptz, allocator);
}

void ChannelModel::FromJson(const rapidjson::Value& value) {
  using pga_records::FindObject;
  using pga_records::ReadOptional;
  using pga_records::ReadOptionalText;
  ReadOptionalText(value, "channelId", channelId);
  ReadOptionalText(value, "deviceId", deviceId);
  ReadOptionalText(value, "channelName", channelName);
  ReadOptional(value, "channelIndex", pga_records::ReadInt, channelIndex);
  ReadOptional(value, "createdTime", pga_records::ReadInt64, createdTime);
  ReadOptionalText(value, "recordingMode", recordingMode);
  pga_records::ReadTextList(value, "rtspPrimary", rtspPrimary);
  pga_records::ReadTextList(value, "rtspSecondary", rtspSecondary);
  if (FindObject(value, "capabilities") != nullptr) {
    capabilities.emplace();
    capabilities->FromJson(value);
  }
  if (const rapidjson::Value* settings = FindObject(value, "imageSettings")) {
    if (!imageSettings) imageSettings = ImageSettings{};
    ReadImageSettings(*settings, *imageSettings);
  }
  if (const rapidjson::Value* object = FindObject(value, "fisheye")) {
    lensType = kFisheye;
    ReadFisheye(*object, fisheye);
  }
}

}  // namespace pga
