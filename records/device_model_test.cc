#include "records/device_model.h"

#include <gtest/gtest.h>

#include "records/record_test_util.h"

namespace pga {

namespace {

TEST(DeviceModelTest, WritesWriteOnlyFieldsAndSetsMembersByName) {
  // Members the object already holds get their values in place instead of
  // a second member.
  DeviceModel device;
  device.deviceId = "d1";
  device.supportPasswordEncryption = false;
  device.maxChannel = 4;
  device.deletedChannel = 0;
  device.deviceName = "";
  auto doc = pga_records_test::ParseOrFail(R"({"maxChannel":"x","other":1,"deviceId":"old"})");
  device.ToJson(doc, doc.GetAllocator());
  EXPECT_EQ(pga_json::ToCompact(doc),
            R"({"maxChannel":4,"other":1,"deviceId":"d1","deviceName":"",)"
            R"("supportPasswordEncryption":false,"deletedChannel":0})");
}

}  // namespace

}  // namespace pga
