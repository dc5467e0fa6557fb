#include "records/channel_model.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "records/record_test_util.h"

namespace pga {

namespace {

using pga_records_test::Write;

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

}  // namespace

}  // namespace pga
