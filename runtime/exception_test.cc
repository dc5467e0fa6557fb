#include "runtime/exception.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "runtime/allocator_test_fixture.h"
#include "runtime/log.h"

namespace pga {

namespace {

using ExceptionTest = AllocatorTest;
using LogTest = AllocatorTest;

// The JSON form with the time stamp replaced by T.
std::string WithoutTime(std::string text) {
  return std::regex_replace(text, std::regex("\"time_value\":-?[0-9]+"), "\"time_value\":T");
}

TEST_F(ExceptionTest, WritesItsFormAndPrintsItsLine) {
  Exception error(2004005, "GroupApplication", "ProcessAEvent", "not \"supported\"");
  EXPECT_EQ(error.GetSeverity(), 0u);
  error.SetSeverity(3);
  BlobValue cell;
  error.Serialize(cell);
  EXPECT_EQ(WithoutTime(Text(cell)),
            "{\"BaseObject\":{\"name\":\"Platform Exception\"},\"type\":2004005,"
            "\"object_str\":\"GroupApplication\",\"function_str\":\"ProcessAEvent\","
            "\"message\":\"not \\\"supported\\\"\",\"severity\":3,\"time_value\":T}");
  EXPECT_EQ(allocator_.Tags().back(), "Platform Exception");
  BaseObject::ReleaseText(cell);
  const long long now = CurrentSeconds();
  EXPECT_LE(error.GetTimeValue(), now);
  EXPECT_GE(error.GetTimeValue(), now - 5);

  EXPECT_EQ(Printed([&] {
              Exception().Print();
              error.Print();
            }),
            "Execption(-1) @ :: => \n"
            "Execption(2004005) @ GroupApplication::ProcessAEvent => not \"supported\"\n");
}

TEST_F(LogTest, PrintsTheBracketedTimeAndEmptyMarkersAndWritesItsForm) {
  const std::string printed = Printed([] {
    Log("", "", "one", "two").Print();
    LogPrintf("%s=%d\n", "value", 42);
  });
  const std::string time = "\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\] ";
  EXPECT_TRUE(std::regex_match(
      printed, std::regex(time + "Empty,::Empty,  one two\n" + time + "value=42\n")))
      << printed;

  Log log("Object", "Function", "first", "second");
  BlobValue cell;
  log.Serialize(cell);
  EXPECT_EQ(WithoutTime(Text(cell)),
            "{\"BaseObject\":{\"name\":\"Log\"},\"object_str\":\"Object\","
            "\"function_str\":\"Function\",\"message_1\":\"first\",\"message_2\":\"second\","
            "\"time_value\":T,\"log_type\":1,\"log_detail_type\":200,\"log_parameter\":0,"
            "\"log_time\":0,\"log_string\":\"\",\"log_channel\":0}");
  BaseObject::ReleaseText(cell);
  log.Deserialize(JsonCell(R"({"log_type":5,"object_str":"X"})"));
  EXPECT_EQ(log.GetLogType(), 5u);
  EXPECT_EQ(log.GetLogDetailType(), 5u);
  EXPECT_EQ(log.GetFunctionText().str(), "X");
}

}  // namespace

}  // namespace pga
