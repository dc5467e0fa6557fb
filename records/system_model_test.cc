// Tests of the small platform records: system, time zone, server and user.
#include "records/system_model.h"

#include <gtest/gtest.h>

#include <string>

#include "records/record_test_util.h"
#include "records/server_model.h"
#include "records/timezone_model.h"
#include "records/user_model.h"

namespace {

using pga_records_test::RoundTrip;
using pga_records_test::Write;

TEST(SystemModelTest, RoundTripAndSettings) {
  EXPECT_EQ(
      RoundTrip<SystemModel>(R"({"settings":{"syncProfileWithCamera":"0x1"},"systemName":"HQ",)"
                             R"("isCreated":true,"version":"2.0","systemId":"sys"})"),
      R"({"systemId":"sys","version":"2.0","isCreated":true,"systemName":"HQ",)"
      R"("settings":{"syncProfileWithCamera":true}})");
  // "settings" without the flag makes it present (false); "isCreated" must
  // be a boolean.
  EXPECT_EQ(RoundTrip<SystemModel>(R"({"settings":{},"isCreated":"0x1"})"),
            R"({"settings":{"syncProfileWithCamera":false}})");
}

TEST(TimezoneModelTest, AlwaysWritesBothMembers) {
  EXPECT_EQ(Write(TimezoneModel()), R"({"name":"","daylightSavingTime":false})");
  EXPECT_EQ(RoundTrip<TimezoneModel>(R"({"name":"Europe/Oslo","daylightSavingTime":"0xA"})"),
            R"({"name":"Europe/Oslo","daylightSavingTime":true})");
}

TEST(ServerModelTest, RoundTripAndTextForms) {
  const std::string in = R"({"createdTime":99,"isLoginedServer":"yes","timeZone":{"name":"UTC"},)"
                         R"("version":"5","status":"up","serverId":"s1","port":"0x50",)"
                         R"("ipAddress":["10.0.0.1","10.0.0.1"],"serverName":"main"})";
  EXPECT_EQ(RoundTrip<ServerModel>(in),
            R"({"serverName":"main","ipAddress":["10.0.0.1","10.0.0.1"],"port":80,)"
            R"("serverId":"s1","status":"up","version":"5",)"
            R"("timeZone":{"name":"UTC","daylightSavingTime":false},)"
            R"("isLoginedServer":false,"createdTime":99})");

  // Text that is not JSON or not an object reads nothing; "createdTime" must
  // be an integer: hex text and fractions are skipped.
  ServerModel server;
  server.FromJsonText(R"({"serverName":"a",)");
  server.FromJsonText("[1]");
  EXPECT_EQ(server.ToJsonText(), "{}");
  server.FromJsonText(R"({"createdTime":99})");
  server.FromJsonText(R"({"createdTime":"0x1"})");
  server.FromJsonText(R"({"createdTime":1.0})");
  EXPECT_EQ(server.ToJsonText(), R"({"createdTime":99})");
}

TEST(UserModelTest, RoundTripAndEmptyUserId) {
  EXPECT_EQ(
      RoundTrip<UserModel>(R"({"roleId":"r","enabled":true,"email":"e@x","lastName":"L",)"
                           R"("firstName":"F","ssid":"S","hashedPassword":"h","userPassword":"p",)"
                           R"("userId":"u1"})"),
      R"({"userId":"u1","ssid":"S","userPassword":"p","hashedPassword":"h",)"
      R"("firstName":"F","lastName":"L","email":"e@x","enabled":true,"roleId":"r"})");
  // An empty userId is not written; "enabled" must be a boolean.
  EXPECT_EQ(RoundTrip<UserModel>(R"({"userId":"","enabled":"0x1","email":""})"), R"({"email":""})");
}

}  // namespace
