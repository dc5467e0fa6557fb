#include "records/server_model.h"

#include <gtest/gtest.h>

namespace pga {

namespace {

TEST(ServerModelTest, TextFormsReadOnlyObjectsAndIntegerTimes) {
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

}  // namespace

}  // namespace pga
