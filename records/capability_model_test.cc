#include "records/capability_model.h"

#include <gtest/gtest.h>

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
}

TEST(CapabilityModelTest, WritingAppendsAndAnEmptyRecordStillWritesCapabilities) {
  CapabilityModel capability;
  EXPECT_EQ(Write(capability), R"({"capabilities":{}})");
  capability.channelId = "c1";
  capability.object.emplace();
  auto doc = ParseOrFail(R"({"channelId":"c0"})");
  capability.ToJson(doc, doc.GetAllocator());
  EXPECT_EQ(pga_json::ToCompact(doc),
            R"({"channelId":"c0","channelId":"c1","capabilities":{"object":)"
            R"({"enabled":false,"supported":false,"typesEnabled":{},)"
            R"("detectionShotSupported":false}}})");
}

TEST(CapabilityModelTest, ReadingReplacesDetectorsButMergesEnabledTypes) {
  auto capability = Read<CapabilityModel>(
      R"({"capabilities":{"motion":{"enabled":true,"isEmptyRule":true,"types":["a"]},)"
      R"("object":{"typesEnabled":{"car":true,"dog":"yes","car":false}}}})");
  ASSERT_TRUE(capability.motion && capability.object);
  EXPECT_EQ(capability.object->typesEnabled, (std::map<std::string, bool>{{"car", true}}))
      << "a key already in the map keeps its value; non-booleans are skipped";

  // A second read of "motion" starts from a fresh detector: its isEmptyRule
  // and types are gone. "object" read straight into the structure merges.
  capability.FromJson(ParseOrFail(R"({"capabilities":{"motion":{"supported":true}}})"));
  EXPECT_FALSE(capability.motion->enabled);
  EXPECT_TRUE(capability.motion->supported);
  EXPECT_FALSE(capability.motion->isEmptyRule.has_value());
  EXPECT_FALSE(capability.motion->types.has_value());
  capability.object->FromJson(ParseOrFail(R"({"typesEnabled":{"bus":true,"car":false}})"));
  EXPECT_EQ(capability.object->typesEnabled,
            (std::map<std::string, bool>{{"bus", true}, {"car", true}}));
}

TEST(CapabilityModelTest, EventCapabilityHexFlagsAndStrictIsEmptyRule) {
  EventCapability detector;
  detector.FromJson(ParseOrFail(R"({"enabled":"0x1","supported":1,"isEmptyRule":"0x1"})"));
  EXPECT_TRUE(detector.enabled);
  EXPECT_FALSE(detector.supported);
  EXPECT_FALSE(detector.isEmptyRule.has_value());
  detector.types.emplace();
  rapidjson::Document doc(rapidjson::kObjectType);
  detector.ToJson(doc, doc.GetAllocator());
  EXPECT_EQ(pga_json::ToCompact(doc), R"({"enabled":true,"supported":false})")
      << "present but empty types are not written";
}

}  // namespace
