#include "runtime/serializable.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// A fresh folder holding one file, "attribute.json", with the text "old".
class SerializableFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "replace_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/attribute.json";
    std::ofstream(path_) << "old";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  long FileCount() const {
    using Entries = std::filesystem::directory_iterator;
    return std::distance(Entries(dir_), Entries());
  }

  std::string dir_;
  std::string path_;
};

TEST_F(SerializableFileTest, ReadFileReadsEveryByteOrReportsAndLeavesTheOutputAlone) {
  const std::string content("head\0\xEF\xBB\xBFtail\n", 13);
  std::ofstream(path_, std::ios::binary) << content;
  std::string out = "old";
  EXPECT_TRUE(Serializable::ReadFile(path_, out));
  EXPECT_EQ(out, content);

  const std::string missing = dir_ + "/missing.json";
  testing::internal::CaptureStdout();
  EXPECT_FALSE(Serializable::ReadFile(missing, out));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\x1b[1;41m [bool __cdecl Serializable::ReadFile(const class "
            "std::basic_string<char,struct std::char_traits<char>,class std::allocator<char> > "
            "&,class std::basic_string<char,struct std::char_traits<char>,class "
            "std::allocator<char> > &):32] >>> fileopen error : " +
                missing + "\x1b[0m\n");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(Serializable::ReadFile(dir_, out));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, content);
}

TEST_F(SerializableFileTest, ReplaceFileReplacesWholeOrNotAtAll) {
  ::chmod(path_.c_str(), 0640);
  ASSERT_TRUE(Serializable::ReplaceFile(path_, "new"));
  EXPECT_EQ(Slurp(path_), "new");
  struct stat info {};
  ::stat(path_.c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(FileCount(), 1);

  EXPECT_FALSE(Serializable::ReplaceFile(dir_ + "/missing/attribute.json", "x"));
  EXPECT_FALSE(Serializable::ReplaceFile(dir_, "x"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_));

  // A full disk: the file size limit makes the write fail midway.
  const pid_t child = ::fork();
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1024, 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    _exit(Serializable::ReplaceFile(path_, std::string(4096, 'x')) ? 1 : 0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(Slurp(path_), "new");
  EXPECT_EQ(FileCount(), 1);
}

TEST_F(SerializableFileTest, AProcessKilledWhileReplacingLeavesOneWholeVersion) {
  const std::string first(200000, 'a');
  const std::string second(300000, 'b');
  std::mt19937 random(12345);
  for (int round = 0; round < 20; ++round) {
    const pid_t child = ::fork();
    if (child == 0) {
      for (;;) {
        Serializable::ReplaceFile(path_, first);
        Serializable::ReplaceFile(path_, second);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const std::string text = Slurp(path_);
    EXPECT_TRUE(text == "old" || text == first || text == second) << text.size();
  }
}

}  // namespace
