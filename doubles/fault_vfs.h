// FaultVfs: a test double of the disk under SQLite. It wraps the VFS that
// SQLite uses by default, counts the calls of each kind that go through it,
// and makes one of them fail when told to, as a failing or full disk would.
// Tests only: the plug-in and the tools never install it.
#ifndef PGA_DOUBLES_FAULT_VFS_H_
#define PGA_DOUBLES_FAULT_VFS_H_

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

namespace pga {

// The kinds of call that can be counted and failed.
enum class IoCall {
  kOpen,  // opening a file, or mapping the shared memory of the log
  kRead,
  kWrite,
  kTruncate,
  kSync,
  kLock,  // taking a file lock or a lock in the log's shared memory
  kFileSize,
  kDelete,
  kCount
};

// "open", "read", ... for reports.
const char* IoCallName(IoCall kind);

class FaultVfs {
 public:
  using Counts = std::array<std::uint64_t, static_cast<std::size_t>(IoCall::kCount)>;

  // How an armed fault fails.
  struct Fault {
    IoCall kind = IoCall::kWrite;
    // The fault hits the nth call of `kind` counted from the arming, 1 first.
    std::uint64_t nth = 1;
    // SQLite's result for the failed call: an SQLITE_IOERR_* code, or
    // SQLITE_FULL for writes that meet a full disk.
    int code = 0;
    // When true, every later call of `kind` fails as well until Disarm(): a
    // disk that stays full. When false, only the nth call fails.
    bool sticky = false;
  };

  // Wraps SQLite's default VFS under the name "pga_fault" and makes it the
  // default, once per process; later calls return the same object. Connections
  // opened afterwards without a VFS name go through it.
  static FaultVfs& Install();

  // The name of the wrapped VFS: open a connection with it to look at a
  // database without being counted or failed.
  const std::string& real_name() const { return real_name_; }

  // Calls of each kind since the last ResetCounts() (failed ones included).
  Counts counts() const;
  void ResetCounts();

  // Arms `fault`, counting from now; replaces any armed fault.
  void Arm(const Fault& fault);
  // No call fails from now on.
  void Disarm();
  // How many calls the armed (or last disarmed) fault has failed.
  std::uint64_t failures() const { return failures_.load(); }

  // Called by the wrapped files: counts a call of `kind` and answers the
  // code it must fail with, or 0 when it goes through.
  int Enter(IoCall kind);

 private:
  FaultVfs() = default;

  std::string real_name_;
  std::array<std::atomic<std::uint64_t>, static_cast<std::size_t>(IoCall::kCount)> counts_{};
  std::atomic<bool> armed_{false};
  Fault fault_;
  // Calls of the armed kind since arming.
  std::atomic<std::uint64_t> seen_{0};
  std::atomic<std::uint64_t> failures_{0};
};

}  // namespace pga

#endif  // PGA_DOUBLES_FAULT_VFS_H_
