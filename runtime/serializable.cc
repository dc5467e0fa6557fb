#include "runtime/serializable.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>

namespace {

constexpr char kReadFileSignature[] =
    "bool __cdecl Serializable::ReadFile(const class std::basic_string<char,struct "
    "std::char_traits<char>,class std::allocator<char> > &,class "
    "std::basic_string<char,struct std::char_traits<char>,class std::allocator<char> > "
    "&)";
constexpr int kReadFileLine = 32;

bool ReportOpenError(const std::string& path) {
  std::printf("\x1b[1;41m [%s:%d] >>> fileopen error : %s\x1b[0m\n", kReadFileSignature,
              kReadFileLine, path.c_str());
  return false;
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool Serializable::ReadFile(const std::string& path, std::string& out) {
  // A directory opens for reading on Linux but has no content to read.
  if (IsDirectory(path)) return ReportOpenError(path);
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open() || !file.seekg(0, std::ios::end)) return ReportOpenError(path);
  const std::streamoff size = file.tellg();
  if (size < 0) return ReportOpenError(path);
  std::string content(static_cast<std::size_t>(size), '\0');
  file.seekg(0, std::ios::beg);
  file.read(content.data(), size);
  if (file.gcount() != size) return ReportOpenError(path);
  out.swap(content);
  return true;
}
