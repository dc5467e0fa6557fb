#include "host/atomic_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pga {

namespace fs = std::filesystem;

namespace {

std::string Reason(const std::string& what) { return what + ": " + std::strerror(errno); }

bool SyncDirectory(const fs::path& dir) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  close(fd);
  return synced;
}

}  // namespace

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) close(fd_);
  if (!temp_.empty()) unlink(temp_.c_str());
}

bool AtomicFile::Create(const fs::path& path, std::string& error) {
  path_ = path;
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
  std::string pattern = (dir / ("." + path.filename().string() + ".tmp-XXXXXX")).string();
  fd_ = mkstemp(pattern.data());
  if (fd_ < 0) {
    error = Reason("cannot create a file in " + dir.string());
    return false;
  }
  temp_ = pattern;
  // mkstemp makes the file private; give it the mode any new file gets.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd_, 0666 & ~mask);
  return true;
}

bool AtomicFile::Write(const std::string& data, std::string& error) {
  for (std::size_t done = 0; done < data.size();) {
    const ssize_t n = write(fd_, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = Reason("cannot write " + temp_.string());
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool AtomicFile::Commit(bool replace, std::string& error) {
  if (fsync(fd_) != 0) {
    error = Reason("cannot write " + temp_.string());
    return false;
  }
  close(fd_);
  fd_ = -1;
  // A hard link fails when the final path exists: a move that never
  // replaces anything, with no moment at which the path is missing.
  const bool moved =
      replace ? rename(temp_.c_str(), path_.c_str()) == 0 : link(temp_.c_str(), path_.c_str()) == 0;
  if (!moved) {
    error = errno == EEXIST ? path_.string() + " exists" : Reason("cannot write " + path_.string());
    return false;
  }
  if (!replace) unlink(temp_.c_str());
  temp_.clear();
  SyncDirectory(path_.has_parent_path() ? path_.parent_path() : fs::path("."));
  return true;
}

}  // namespace pga
