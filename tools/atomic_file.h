// AtomicFile: a file made under a temporary name beside its final path and
// renamed onto it only when complete, so that nobody sees half a file and a
// failure leaves whatever was at the final path untouched.
//
// What an operator names as a destination may be something the verb must
// never turn into a regular file: a symbolic link, a FIFO, a device node.
// Only a regular file is ever replaced, and only when asked to.
#ifndef PGA_TOOLS_ATOMIC_FILE_H_
#define PGA_TOOLS_ATOMIC_FILE_H_

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace pga {

class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  // Removes the temporary file unless Commit() succeeded.
  ~AtomicFile();

  // Whether `path` may become the final path of a new file: nothing is
  // there, or a regular file is there and `replace` is set. A symbolic
  // link, a FIFO, a device node or a directory is refused even with
  // `replace`. Fails with a one-line reason.
  static bool MayWrite(const std::filesystem::path& path, bool replace, std::string& error);

  // Creates an empty temporary file in the directory of `path`, which must
  // exist, with the permission bits `mode` (not reduced by the umask: a
  // copy of a private store stays private). Its name starts with
  // `prefix` (default: "." and the final name) and ends in ".tmp-XXXXXX".
  // The file stays locked (flock) while this object holds it, so that
  // StaleTemporaries can tell the temporaries of a killed run from those
  // in use. Fails with a one-line reason.
  bool Create(const std::filesystem::path& path, mode_t mode, std::string& error,
              const std::string& prefix = "");

  // The temporary file, for writers that open it themselves (SQLite).
  const std::filesystem::path& temp_path() const { return temp_; }

  // Appends `data` to the temporary file.
  bool Write(const std::string& data, std::string& error);

  // Syncs the temporary file, moves it to the final path and syncs the
  // directory. Without `replace` an existing file at the final path makes
  // it fail and stay as it was; with it, only a regular file is replaced.
  bool Commit(bool replace, std::string& error);

  // Removes the temporaries in `dir` whose names start with `prefix` and
  // that no running process holds: what a killed run left behind.
  static void RemoveStale(const std::filesystem::path& dir, const std::string& prefix);

 private:
  std::filesystem::path path_;
  std::filesystem::path temp_;
  int fd_ = -1;
};

// The permission bits of the file `path` (0600 when it cannot be read):
// the mode that copies of it are given.
mode_t FileMode(const std::filesystem::path& path);

}  // namespace pga

#endif  // PGA_TOOLS_ATOMIC_FILE_H_
