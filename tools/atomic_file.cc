#include "tools/atomic_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace pga {

namespace fs = std::filesystem;

namespace {

constexpr char kTempMark[] = ".tmp-";

std::string Reason(const std::string& what) { return what + ": " + std::strerror(errno); }

bool SyncDirectory(const fs::path& dir) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  close(fd);
  return synced;
}

fs::path DirectoryOf(const fs::path& path) {
  return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

}  // namespace

AtomicFile::~AtomicFile() {
  // Removed before the lock goes with the descriptor: a cleaner never
  // sees it unlocked.
  if (!temp_.empty()) unlink(temp_.c_str());
  if (fd_ >= 0) close(fd_);
}

bool AtomicFile::MayWrite(const fs::path& path, bool replace, std::string& error) {
  struct stat status;
  if (lstat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) return true;
    error = Reason("cannot look at " + path.string());
    return false;
  }
  if (S_ISDIR(status.st_mode)) {
    error = path.string() + " is a directory";
  } else if (!S_ISREG(status.st_mode)) {
    const char* kind = S_ISLNK(status.st_mode)    ? "a symbolic link"
                       : S_ISFIFO(status.st_mode) ? "a FIFO"
                       : S_ISSOCK(status.st_mode) ? "a socket"
                                                  : "a device node";
    error = path.string() + " is " + kind + ", which is never replaced; name a regular file" +
            " (or - for standard output where the verb takes it)";
  } else if (!replace) {
    error = path.string() + " exists; add --force to replace it";
  } else {
    return true;
  }
  return false;
}

bool AtomicFile::Create(const fs::path& path, mode_t mode, std::string& error,
                        const std::string& prefix) {
  path_ = path;
  const fs::path dir = DirectoryOf(path);
  const std::string start = prefix.empty() ? "." + path.filename().string() : prefix;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::string pattern = (dir / (start + kTempMark + "XXXXXX")).string();
    fd_ = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) {
      error = Reason("cannot create a file in " + dir.string());
      return false;
    }
    // Locked at once; a cleaner that removed the name in the moment
    // between is noticed by the name no longer leading to this file.
    struct stat mine;
    struct stat named;
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0 && fstat(fd_, &mine) == 0 &&
        lstat(pattern.c_str(), &named) == 0 && mine.st_ino == named.st_ino &&
        mine.st_dev == named.st_dev) {
      temp_ = pattern;
      // mkstemp makes the file private and the umask would cut the mode
      // down: the copy gets exactly the bits of what it copies.
      if (fchmod(fd_, mode & 0666) != 0) {
        error = Reason("cannot set the mode of " + temp_.string());
        return false;
      }
      return true;
    }
    close(fd_);
    fd_ = -1;
  }
  error = "cannot create a file in " + dir.string() + ": it keeps vanishing";
  return false;
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
  // Looked at again right before the move: what is there now is what
  // rename would replace.
  if (replace && !MayWrite(path_, true, error)) return false;
  // A hard link fails when the final path exists: a move that never
  // replaces anything, with no moment at which the path is missing.
  const bool moved =
      replace ? rename(temp_.c_str(), path_.c_str()) == 0 : link(temp_.c_str(), path_.c_str()) == 0;
  if (!moved) {
    error = errno == EEXIST ? path_.string() + " exists; add --force to replace it"
                            : Reason("cannot write " + path_.string());
    return false;
  }
  if (!replace) unlink(temp_.c_str());
  temp_.clear();
  close(fd_);
  fd_ = -1;
  if (!SyncDirectory(DirectoryOf(path_))) {
    error = Reason("cannot sync the directory of " + path_.string());
    return false;
  }
  return true;
}

void AtomicFile::RemoveStale(const fs::path& dir, const std::string& prefix) {
  std::error_code code;
  const std::string start = prefix + kTempMark;
  for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, code), end;
       !code && it != end; it.increment(code)) {
    const fs::path& path = it->path();
    if (path.filename().string().rfind(start, 0) != 0) continue;
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat status;
    // Only a regular file that nobody holds: the lock of a running verb
    // goes only with its process.
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0) {
      unlink(path.c_str());
    }
    close(fd);
  }
}

mode_t FileMode(const fs::path& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? status.st_mode & 0666 : 0600;
}

}  // namespace pga
