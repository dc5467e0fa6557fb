#include "runtime/serializable.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

TEST(SerializableTest, ReadFileReadsEveryByteOrReportsAndLeavesTheOutputAlone) {
  const std::string path =
      ::testing::TempDir() + "serializable_read_" + std::to_string(::getpid()) + ".bin";
  const std::string content("head\0\xEF\xBB\xBFtail\n", 13);
  {
    std::ofstream file(path, std::ios::binary);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
  }
  std::string out = "old";
  EXPECT_TRUE(Serializable::ReadFile(path, out));
  EXPECT_EQ(out, content);
  std::remove(path.c_str());

  testing::internal::CaptureStdout();
  EXPECT_FALSE(Serializable::ReadFile(path, out));
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed,
            "\x1b[1;41m [bool __cdecl Serializable::ReadFile(const class "
            "std::basic_string<char,struct std::char_traits<char>,class std::allocator<char> > "
            "&,class std::basic_string<char,struct std::char_traits<char>,class "
            "std::allocator<char> > &):32] >>> fileopen error : " +
                path + "\x1b[0m\n");
  EXPECT_EQ(out, content);

  testing::internal::CaptureStdout();
  EXPECT_FALSE(Serializable::ReadFile(::testing::TempDir(), out));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, content);
}

}  // namespace
