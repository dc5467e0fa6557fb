// CountingAllocator: a test double of the host's ObjectAllocator. It keeps a
// size word in front of every block, counts live blocks and bytes, notices
// frees of blocks it does not hold, and can be told to fail.
#ifndef PGA_DOUBLES_COUNTING_ALLOCATOR_H_
#define PGA_DOUBLES_COUNTING_ALLOCATOR_H_

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/object_allocator.h"

namespace pga {

class CountingAllocator : public ObjectAllocator {
 public:
  // How MallocSafe fails when told to.
  enum class Failure {
    kNone,            // allocate normally
    kReturnNull,      // return null
    kThrowException,  // throw the runtime's Exception
    kThrowStandard,   // throw std::runtime_error
  };

  CountingAllocator() = default;
  // Blocks still live are left alone (and reported by a leak checker): a
  // test that leaks should fail loudly.
  ~CountingAllocator() override = default;

  // A block of `size` bytes aligned for any object, preceded by an 8-byte
  // word holding `size`, unless told to fail. Thread-safe.
  void* MallocSafe(std::size_t size, const char* tag) override;
  // Releases a live block. A block that is not live (freed twice, or never
  // handed out) is not touched and counted as a bad free. Thread-safe.
  void Free(void* block) override;
  // Records `text`. Thread-safe.
  void ReportFailure(const char* text) override;

  // Makes every later MallocSafe fail as `mode` says, or only those with
  // `tag` when it is not empty. kNone restores normal allocation.
  void FailWith(Failure mode, const std::string& tag = std::string());
  // Makes only the `nth` MallocSafe call from now (1 is the next one) fail
  // as `mode` says, once; replaces an earlier FailAt.
  void FailAt(std::size_t nth, Failure mode);
  // The tag of the call that FailAt made fail, or nullopt while none has.
  std::optional<std::string> FailedAt() const;
  // MallocSafe calls made so far, failed ones included.
  std::size_t Calls() const;

  std::size_t LiveBlocks() const;
  std::size_t LiveBytes() const;
  // Frees of blocks that were not live.
  std::size_t BadFrees() const;
  // Tags of every MallocSafe call, in order, including failed ones (while
  // tags are recorded).
  std::vector<std::string> Tags() const;
  // Whether MallocSafe keeps every tag for Tags(); on by default. A
  // long-running host turns it off so that the record does not grow without
  // end.
  void RecordTags(bool record);
  // The live blocks counted by their tag, for leak reports.
  std::map<std::string, std::size_t> LiveBlocksByTag() const;
  // Texts given to ReportFailure, in order.
  std::vector<std::string> Reports() const;

  // The size word in front of a block that this allocator returned.
  static std::size_t StoredSize(const void* block);

 private:
  mutable std::mutex mutex_;
  struct Block {
    std::size_t size;
    std::string tag;
  };
  std::unordered_map<void*, Block> live_;  // GUARDED_BY(mutex_)
  std::size_t live_bytes_ = 0;             // GUARDED_BY(mutex_)
  std::size_t bad_frees_ = 0;              // GUARDED_BY(mutex_)
  std::vector<std::string> tags_;          // GUARDED_BY(mutex_)
  bool record_tags_ = true;                // GUARDED_BY(mutex_)
  std::vector<std::string> reports_;       // GUARDED_BY(mutex_)
  Failure failure_ = Failure::kNone;       // GUARDED_BY(mutex_)
  std::string failure_tag_;                // GUARDED_BY(mutex_)
  std::size_t calls_ = 0;                  // GUARDED_BY(mutex_)
  // The call that FailAt fails (0: none), how, and the tag it met.
  std::size_t fail_at_ = 0;                // GUARDED_BY(mutex_)
  Failure fail_at_mode_ = Failure::kNone;  // GUARDED_BY(mutex_)
  std::optional<std::string> failed_at_;   // GUARDED_BY(mutex_)
};

}  // namespace pga

#endif  // PGA_DOUBLES_COUNTING_ALLOCATOR_H_
