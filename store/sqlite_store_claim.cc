#include "store/sqlite_store_claim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace pga {

namespace {

// The directory of `file` with symbolic links resolved: of the file itself
// when it exists, else of the directory named for it.
std::string DirectoryOf(const std::string& file) {
  char resolved[PATH_MAX];
  if (realpath(file.c_str(), resolved) != nullptr) {
    const std::string path(resolved);
    return path.substr(0, std::max<std::size_t>(path.rfind('/'), 1));
  }
  const std::size_t slash = file.rfind('/');
  const std::string named =
      slash == std::string::npos ? "." : file.substr(0, std::max<std::size_t>(slash, 1));
  return realpath(named.c_str(), resolved) != nullptr ? std::string(resolved) : named;
}

}  // namespace

SqliteStoreClaim::~SqliteStoreClaim() {
  // Closing the only descriptor of the directory releases the lock.
  if (directory_fd_ >= 0) close(directory_fd_);
}

bool SqliteStoreClaim::OpenDirectory(const std::string& database_file) {
  if (directory_fd_ >= 0) return true;
  directory_ = DirectoryOf(database_file);
  directory_fd_ = open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory_fd_ >= 0) return true;
  reason_ = std::strerror(errno);
  return false;
}

SqliteStoreClaim::Result SqliteStoreClaim::TryTake(const std::string& database_file) {
  if (held_) return Result::kTaken;
  if (!OpenDirectory(database_file)) return Result::kImpossible;
  int result;
  do {
    result = flock(directory_fd_, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) {
    held_ = true;
    return Result::kTaken;
  }
  if (errno == EWOULDBLOCK) return Result::kHeld;
  reason_ = std::strerror(errno);
  return Result::kImpossible;
}

}  // namespace pga
