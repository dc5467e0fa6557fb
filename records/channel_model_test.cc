#include "records/channel_model.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "records/record_test_util.h"

namespace {

using pga_records_test::RoundTrip;
using pga_records_test::Write;

TEST(ChannelModelTest, RoundTripWithCapabilitiesSettingsAndFisheye) {
  // "ptz" and the resolutions are never read; the capability's "channelId"
  // is written again after the channel's own.
  const std::string in =
      R"({"ptz":{"homeSupported":true},"primaryResolution":{"width":1920,"height":1080},)"
      R"("fisheye":{"defaultRplNumber":"1","rotation":90,"enabled":true,"mountMode":"ceiling"},)"
      R"("imageSettings":{"ir":true,"ssdr":true},"capabilities":{"motion":)"
      R"({"enabled":true,"supported":true}},"recordingMode":"always",)"
      R"("rtspSecondary":[],"rtspPrimary":["rtsp://a","rtsp://b"],"createdTime":12,)"
      R"("channelIndex":"0x1F","channelName":"Door","deviceId":"d1","channelId":"c1"})";
  EXPECT_EQ(RoundTrip<ChannelModel>(in),
            R"({"channelId":"c1","deviceId":"d1","channelName":"Door","channelIndex":31,)"
            R"("createdTime":12,"rtspPrimary":["rtsp://a","rtsp://b"],"rtspSecondary":[],)"
            R"("recordingMode":"always","channelId":"c1","capabilities":{"motion":)"
            R"({"enabled":true,"supported":true}},"imageSettings":{"ssdr":true,)"
            R"("whiteBalance":false,"backlight":false,"dayNight":false,"special":false,)"
            R"("ir":true,"focus":false,"exposure":false},"fisheye":{"enabled":true,)"
            R"("mountMode":"ceiling","rotation":0.0,"defaultRplNumber":"1"}})");
}

TEST(ChannelModelTest, LenientNumbersInChannelAndFisheye) {
  // Plain digits and fractions are present as 0; a fisheye sets the lens.
  EXPECT_EQ(RoundTrip<ChannelModel>(R"({"channelIndex":"12","createdTime":1.5,)"
                                    R"("fisheye":{"rotation":90.0,"enabled":"on"}})"),
            R"({"channelIndex":0,"createdTime":0,"fisheye":{"enabled":false,"rotation":90.0}})");
}

TEST(ChannelModelTest, WritesOnlyCompleteGroups) {
  ChannelModel channel;
  EXPECT_EQ(Write(channel), "{}");
  // Fisheye fields without lensType, half a resolution: nothing written.
  channel.fisheye.mountMode = "wall";
  channel.primaryResolution.width = 640;
  channel.secondaryResolution.height = 480;
  EXPECT_EQ(Write(channel), "{}");
  channel.lensType = "fisheye";
  EXPECT_EQ(Write(channel), "{}") << "only the exact text Fisheye counts";
  channel.lensType = "Fisheye";
  channel.fisheye.rotation = std::numeric_limits<float>::quiet_NaN();
  channel.primaryResolution.height = 480;
  channel.ptz = ChannelModel::Ptz{};
  channel.ptz->auxCommandsSupported = true;
  EXPECT_EQ(Write(channel),
            R"({"fisheye":{"mountMode":"wall"},)"
            R"("primaryResolution":{"width":640,"height":480},)"
            R"("ptz":{"eFlipSupported":false,"autoTrackingSupported":false,)"
            R"("continuousMoveSupported":false,"areaZoomSupported":false,)"
            R"("autoFocusSupported":false,"continuousFocusSupported":false,)"
            R"("groupSupported":false,"homeSupported":false,"auxCommandsSupported":true}})");
}

TEST(ChannelModelTest, SetMembersReplaceAndAppendedMembersRepeat) {
  ChannelModel channel;
  channel.channelId = "c1";
  channel.recordingMode = "event";
  channel.rtspPrimary = std::vector<std::string>{"x"};
  auto doc =
      pga_records_test::ParseOrFail(R"({"recordingMode":"old","rtspPrimary":[],"channelId":"c0"})");
  channel.ToJson(doc, doc.GetAllocator());
  EXPECT_EQ(pga_json::ToCompact(doc),
            R"({"recordingMode":"event","rtspPrimary":[],"channelId":"c1","rtspPrimary":["x"]})");
}

}  // namespace
