#include "runtime/serializable.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "runtime/attribute_test_fixture.h"

namespace pga {

namespace {

using SerializableFileTest = AttributeFileTest;

TEST_F(SerializableFileTest, ReadFileReadsEveryByteOrReportsAndLeavesTheOutputAlone) {
  const std::string content("head\0\xEF\xBB\xBFtail\n", 13);
  Write("attribute.json", content);
  std::string out = "old";
  EXPECT_TRUE(Serializable::ReadFile(Path("attribute.json"), out));
  EXPECT_EQ(out, content);

  const std::string missing = Path("missing.json");
  EXPECT_EQ(Printed([&] { EXPECT_FALSE(Serializable::ReadFile(missing, out)); }),
            "\x1b[1;41m [bool __cdecl Serializable::ReadFile(const class "
            "std::basic_string<char,struct std::char_traits<char>,class std::allocator<char> > "
            "&,class std::basic_string<char,struct std::char_traits<char>,class "
            "std::allocator<char> > &):32] >>> fileopen error : " +
                missing + "\x1b[0m\n");
  Printed([&] { EXPECT_FALSE(Serializable::ReadFile(dir_, out)); });
  EXPECT_EQ(out, content);
}

TEST_F(SerializableFileTest, ReplaceFileReplacesWholeOrNotAtAll) {
  const std::string path = Path("attribute.json");
  Write("attribute.json", "old");
  ::chmod(path.c_str(), 0640);
  ASSERT_TRUE(Serializable::ReplaceFile(path, "new"));
  EXPECT_EQ(Read("attribute.json"), "new");
  struct stat info {};
  ::stat(path.c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u);

  EXPECT_FALSE(Serializable::ReplaceFile(Path("missing/attribute.json"), "x"));
  EXPECT_FALSE(Serializable::ReplaceFile(dir_, "x"));

  // A full disk: the file size limit makes the write fail midway.
  const pid_t child = ::fork();
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1024, 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    _exit(Serializable::ReplaceFile(path, std::string(4096, 'x')) ? 1 : 0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(Read("attribute.json"), "new");
  EXPECT_EQ(Files(), std::vector<std::string>{"attribute.json"});
}

}  // namespace

}  // namespace pga
