#include "runtime/exception.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "runtime/allocator_test_fixture.h"
#include "runtime/log.h"

namespace {

using ExceptionTest = AllocatorTest;
using LogTest = AllocatorTest;

// The JSON form with the time stamp replaced by T.
std::string WithoutTime(std::string text) {
  return std::regex_replace(text, std::regex("\"time_value\":-?[0-9]+"), "\"time_value\":T");
}

TEST_F(ExceptionTest, WritesItsFormAndPrintsItsLine) {
  Exception error(2004005, "GroupApplication", "ProcessAEvent", "not \"supported\"");
  error.SetSeverity(3);
  BlobValue cell;
  error.Serialize(cell);
  EXPECT_EQ(WithoutTime(Text(cell)),
            "{\"BaseObject\":{\"name\":\"Platform Exception\"},\"type\":2004005,"
            "\"object_str\":\"GroupApplication\",\"function_str\":\"ProcessAEvent\","
            "\"message\":\"not \\\"supported\\\"\",\"severity\":3,\"time_value\":T}");
  EXPECT_EQ(allocator_.Tags().back(), "Platform Exception");
  const long long now = CurrentSeconds();
  EXPECT_LE(error.GetTimeValue(), now);
  EXPECT_GE(error.GetTimeValue(), now - 5);

  // A record read back from its own form keeps its fields but not its name.
  Exception back;
  back.Deserialize(cell);
  BaseObject::ReleaseText(cell);
  EXPECT_EQ(back.GetType(), 2004005);
  EXPECT_STREQ(back.GetMessage(), "not \"supported\"");
  EXPECT_EQ(back.GetFunction().str(), "ProcessAEvent");
  EXPECT_EQ(back.GetSeverity(), 3u);
  EXPECT_EQ(back.GetTimeValue(), error.GetTimeValue());
  EXPECT_STREQ(back.GetName(), "");

  testing::internal::CaptureStdout();
  Exception().Print();
  error.Print();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Execption(-1) @ :: => \n"
            "Execption(2004005) @ GroupApplication::ProcessAEvent => not \"supported\"\n");
}

TEST_F(ExceptionTest, ReadsTextsThroughOneWorkingTextAndOddNumbersLeniently) {
  Exception error(7, "old object", "old function", "old message");
  error.SetSeverity(9);
  const long long stamp = error.GetTimeValue();
  error.Deserialize(
      JsonCell("{\"object_str\":\"A\",\"message\":\"M\",\"type\":\"8\","
               "\"time_value\":1.5,\"name\":\"Top\"}"));
  EXPECT_EQ(error.GetObjectText().str(), "A");
  EXPECT_EQ(error.GetFunction().str(), "A");
  EXPECT_STREQ(error.GetMessage(), "M");
  EXPECT_EQ(error.GetType(), 7);           // not a number: unchanged
  EXPECT_EQ(error.GetSeverity(), 0u);      // absent: 0
  EXPECT_EQ(error.GetTimeValue(), stamp);  // not an integer: unchanged
  EXPECT_STREQ(error.GetName(), "Top");

  error.Deserialize(JsonCell("{\"function_str\":5,\"type\":3000000000,\"severity\":4}"));
  EXPECT_EQ(error.GetObjectText().str(), "");
  EXPECT_EQ(error.GetFunction().str(), "");
  EXPECT_EQ(error.GetType(), 7);  // beyond 32 bits signed: unchanged
  EXPECT_EQ(error.GetSeverity(), 4u);
}

TEST_F(LogTest, PrintsTheBracketedTimeAndEmptyMarkers) {
  testing::internal::CaptureStdout();
  Log("", "", "one", "two").Print();
  LogPrintf("%s=%d\n", "value", 42);
  const std::string printed = testing::internal::GetCapturedStdout();
  const std::string time = "\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\] ";
  EXPECT_TRUE(std::regex_match(
      printed, std::regex(time + "Empty,::Empty,  one two\n" + time + "value=42\n")))
      << printed;
}

TEST_F(LogTest, WritesItsFormAndReadsNumbersThroughOneWorkingNumber) {
  Log log("Object", "Function", "first", "second");
  BlobValue cell;
  log.Serialize(cell);
  EXPECT_EQ(WithoutTime(Text(cell)),
            "{\"BaseObject\":{\"name\":\"Log\"},\"object_str\":\"Object\","
            "\"function_str\":\"Function\",\"message_1\":\"first\",\"message_2\":\"second\","
            "\"time_value\":T,\"log_type\":1,\"log_detail_type\":200,\"log_parameter\":0,"
            "\"log_time\":0,\"log_string\":\"\",\"log_channel\":0}");
  BaseObject::ReleaseText(cell);

  log.Deserialize(JsonCell("{\"log_type\":5}"));
  EXPECT_EQ(log.GetLogType(), 5u);
  EXPECT_EQ(log.GetLogDetailType(), 5u);
  log.Deserialize(JsonCell("{}"));
  EXPECT_EQ(log.GetLogType(), 0u);
  EXPECT_EQ(log.GetLogDetailType(), 0u);
  log.Deserialize(JsonCell("{\"log_type\":4294967298,\"log_detail_type\":7}"));
  EXPECT_EQ(log.GetLogType(), 2u);  // the low 32 bits
  EXPECT_EQ(log.GetLogDetailType(), 7u);
  log.Deserialize(JsonCell("{\"object_str\":\"X\"}"));
  EXPECT_EQ(log.GetFunctionText().str(), "X");
}

}  // namespace
