#include "records/device_model.h"

#include <gtest/gtest.h>

#include <string>

#include "records/record_test_util.h"

namespace {

using pga_records_test::ParseOrFail;
using pga_records_test::RoundTrip;

TEST(DeviceModelTest, RoundTripKeepsReadFieldsAndDropsWriteOnlyOnes) {
  // Input in an order of its own; the record writes its own order, with
  // createdTime last, and never reads the three write-only members.
  const std::string in =
      R"({"createdTime":1700000000123,"status":"ok","deviceId":"d1","serverId":"s1",)"
      R"("deviceName":"Gate","modelType":"cam","serialNumber":"SN","firmware":"1.2",)"
      R"("ipAddress":"10.0.0.5","port":554,"macAddress":"aa:bb","protocol":"onvif",)"
      R"("model":"M","brand":"B","isSecure":true,"isDhcp":false,"loginId":"admin",)"
      R"("loginPassword":"pw","scanUuid":"u","supportPasswordEncryption":true,)"
      R"("maxChannel":16,"deletedChannel":2,"result":"","reason":"r"})";
  EXPECT_EQ(RoundTrip<DeviceModel>(in),
            R"({"deviceId":"d1","serverId":"s1","deviceName":"Gate","modelType":"cam",)"
            R"("serialNumber":"SN","firmware":"1.2","ipAddress":"10.0.0.5","port":554,)"
            R"("macAddress":"aa:bb","protocol":"onvif","model":"M","brand":"B",)"
            R"("isSecure":true,"isDhcp":false,"loginId":"admin","loginPassword":"pw",)"
            R"("scanUuid":"u","result":"","reason":"r","status":"ok",)"
            R"("createdTime":1700000000123})");
  // "port" as plain digits and "isSecure" as a number are unusable but still
  // make their fields present with 0/false; hex text is read; a text field
  // given a number is skipped.
  EXPECT_EQ(RoundTrip<DeviceModel>(R"({"deviceId":5,"port":"554","isSecure":1,"isDhcp":"0x01",)"
                                   R"("createdTime":"0x100000000","brand":null})"),
            R"({"port":0,"isSecure":false,"isDhcp":true,"createdTime":4294967296})");
}

TEST(DeviceModelTest, WritesWriteOnlyFieldsAndSetsMembersByName) {
  // Members the object already holds get their values in place instead of
  // a second member.
  DeviceModel device;
  device.deviceId = "d1";
  device.supportPasswordEncryption = false;
  device.maxChannel = 4;
  device.deletedChannel = 0;
  device.deviceName = "";
  auto doc = ParseOrFail(R"({"maxChannel":"x","other":1,"deviceId":"old"})");
  device.ToJson(doc, doc.GetAllocator());
  EXPECT_EQ(pga_json::ToCompact(doc),
            R"({"maxChannel":4,"other":1,"deviceId":"d1","deviceName":"",)"
            R"("supportPasswordEncryption":false,"deletedChannel":0})");
}

}  // namespace
