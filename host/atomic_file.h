// AtomicFile: a file made under a temporary name beside its final path and
// renamed onto it only when complete, so that nobody sees half a file and a
// failure leaves whatever was at the final path untouched.
#ifndef PGA_HOST_ATOMIC_FILE_H_
#define PGA_HOST_ATOMIC_FILE_H_

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

  // Creates an empty temporary file in the directory of `path`, which must
  // exist. Fails with a one-line reason.
  bool Create(const std::filesystem::path& path, std::string& error);

  // The temporary file, for writers that open it themselves (SQLite).
  const std::filesystem::path& temp_path() const { return temp_; }

  // Appends `data` to the temporary file.
  bool Write(const std::string& data, std::string& error);

  // Syncs the temporary file, moves it to the final path and syncs the
  // directory. Without `replace` an existing file at the final path makes
  // it fail and stay as it was.
  bool Commit(bool replace, std::string& error);

 private:
  std::filesystem::path path_;
  std::filesystem::path temp_;
  int fd_ = -1;
};

}  // namespace pga

#endif  // PGA_HOST_ATOMIC_FILE_H_
