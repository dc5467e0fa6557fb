#include "runtime/serializable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>

#include "runtime/json.h"

namespace pga {

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

// The folder that holds `path`, for syncing it after a rename.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(written);
  }
  return true;
}

// Creates a new file beside `path` under a name no other writer uses (the
// process id and a counter; O_EXCL guards against leftovers). Returns its
// descriptor, or -1.
int CreateTemporary(const std::string& path, std::string& temporary) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Makes a rename in `folder` durable. A failure here cannot undo the rename
// and is ignored.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
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

bool Serializable::ReplaceFile(const std::string& path, const std::string& text) {
  if (path.empty()) return false;
  struct stat old {};
  const bool exists = ::stat(path.c_str(), &old) == 0;
  // Refuse what opening the file for writing would refuse.
  if (exists && (S_ISDIR(old.st_mode) || ::access(path.c_str(), W_OK) != 0)) return false;
  std::string temporary;
  const int fd = CreateTemporary(path, temporary);
  if (fd < 0) return false;
  bool ok = !exists || ::fchmod(fd, old.st_mode & 07777) == 0;
  ok = ok && WriteAll(fd, text) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncFolder(FolderOf(path));
  return true;
}

bool Serializable::ParseText(const std::string& text,
                             const Platform_Std_Refine::String& /*context*/) {
  rapidjson::Document doc;
  std::string compact;
  if (!pga_json::Parse(doc, text) || !doc.IsObject() || !pga_json::WriteCompact(doc, compact)) {
    return false;
  }
  kept_text_.swap(compact);
  return true;
}

bool Serializable::SerializeText(const Platform_Std_Refine::String& /*context*/,
                                 const std::string& version, std::string& out) const {
  rapidjson::Document kept;
  if (kept_text_.empty() || !pga_json::Parse(kept, kept_text_)) kept.SetObject();
  rapidjson::Document doc(rapidjson::kObjectType);
  auto& allocator = doc.GetAllocator();
  pga_json::AddMember(
      doc, "Version",
      rapidjson::Value(version.data(), static_cast<rapidjson::SizeType>(version.size()), allocator),
      allocator);
  for (const auto& member : kept.GetObject()) {
    if (pga_json::GetString(member.name) == "Version") continue;
    doc.AddMember(rapidjson::Value(member.name, allocator),
                  rapidjson::Value(member.value, allocator), allocator);
  }
  return pga_json::WriteCompact(doc, out);
}

bool Serializable::WriteFile(const std::string& path, const std::string& text) {
  return ReplaceFile(path, text);
}

}  // namespace pga
