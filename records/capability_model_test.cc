#include "records/capability_model.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "records/record_test_util.h"

namespace {

using pga_records_test::ParseOrFail;
using pga_records_test::Read;
using pga_records_test::RoundTrip;
using pga_records_test::Write;

TEST(CapabilityModelTest, RoundTripOfEveryDetector) {
  const std::string in =
      R"({"capabilities":{"object":{"typesEnabled":{"vehicle":false,"person":true},)"
      R"("supported":true,"types":["vehicle","person","person"],)"
      R"("detectionShotSupported":true,"enabled":true},)"
      R"("motion":{"enabled":true,"supported":true,"isEmptyRule":false},)"
      R"("virtualArea":{"types":[],"enabled":false,"supported":true}},"channelId":"c1"})";
  EXPECT_EQ(RoundTrip<CapabilityModel>(in),
            R"({"channelId":"c1","capabilities":{)"
            R"("motion":{"enabled":true,"supported":true,"isEmptyRule":false},)"
            R"("virtualArea":{"enabled":false,"supported":true},)"
            R"("object":{"enabled":true,"supported":true,"types":["person","vehicle"],)"
            R"("typesEnabled":{"person":true,"vehicle":false},)"
            R"("detectionShotSupported":true}}})");
  EXPECT_EQ(Write(CapabilityModel()), R"({"capabilities":{}})");
}

TEST(CapabilityModelTest, HexFlagsStrictIsEmptyRuleAndMergedEnabledTypes) {
  // Hex text is read, a number is not; isEmptyRule must be a boolean.
  EventCapability detector;
  detector.FromJson(ParseOrFail(R"({"enabled":"0x1","supported":1,"isEmptyRule":"0x1"})"));
  detector.types.emplace();
  EXPECT_EQ(Write(detector), R"({"enabled":true,"supported":false})")
      << "present but empty types are not written";

  // A key already in the map keeps its value, non-booleans are skipped, and
  // a detector read again starts fresh while "object" read directly merges.
  auto capability =
      Read<CapabilityModel>(R"({"capabilities":{"motion":{"isEmptyRule":true},)"
                            R"("object":{"typesEnabled":{"car":true,"dog":"yes","car":false}}}})");
  capability.FromJson(ParseOrFail(R"({"capabilities":{"motion":{"supported":true}}})"));
  EXPECT_FALSE(capability.motion->isEmptyRule.has_value());
  capability.object->FromJson(ParseOrFail(R"({"typesEnabled":{"bus":true,"car":false}})"));
  EXPECT_EQ(capability.object->typesEnabled,
            (std::map<std::string, bool>{{"bus", true}, {"car", true}}));
}

}  // namespace
