#include "doubles/counting_allocator.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "runtime/exception.h"

namespace pga {

namespace {

// Room in front of each block: the size word sits in its last 8 bytes, and
// the block after it stays aligned for any object.
constexpr std::size_t kHeader = alignof(std::max_align_t) > 8 ? alignof(std::max_align_t) : 8;

}  // namespace

void* CountingAllocator::MallocSafe(std::size_t size, const char* tag) {
  Failure failure = Failure::kNone;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const char* name = tag != nullptr ? tag : "";
    if (record_tags_) tags_.emplace_back(name);
    if (failure_tag_.empty() || failure_tag_ == name) failure = failure_;
    if (++calls_ == fail_at_) {
      failure = fail_at_mode_;
      failed_at_ = name;
    }
  }
  switch (failure) {
    case Failure::kReturnNull:
      return nullptr;
    case Failure::kThrowException:
      throw Exception(-7, "CountingAllocator", "MallocSafe", "allocation refused");
    case Failure::kThrowStandard:
      throw std::runtime_error("allocation refused");
    case Failure::kNone:
      break;
  }
  auto* raw = static_cast<unsigned char*>(std::malloc(kHeader + size));
  if (raw == nullptr) return nullptr;
  unsigned char* block = raw + kHeader;
  const std::uint64_t word = size;
  std::memcpy(block - sizeof(word), &word, sizeof(word));
  std::lock_guard<std::mutex> lock(mutex_);
  live_.emplace(block, Block{size, tag != nullptr ? tag : ""});
  live_bytes_ += size;
  return block;
}

void CountingAllocator::Free(void* block) {
  if (block == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = live_.find(block);
    if (found == live_.end()) {
      ++bad_frees_;
      return;
    }
    live_bytes_ -= found->second.size;
    live_.erase(found);
  }
  std::free(static_cast<unsigned char*>(block) - kHeader);
}

void CountingAllocator::ReportFailure(const char* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  reports_.emplace_back(text != nullptr ? text : "");
}

void CountingAllocator::FailWith(Failure mode, const std::string& tag) {
  std::lock_guard<std::mutex> lock(mutex_);
  failure_ = mode;
  failure_tag_ = tag;
}

void CountingAllocator::FailAt(std::size_t nth, Failure mode) {
  std::lock_guard<std::mutex> lock(mutex_);
  fail_at_ = nth == 0 ? 0 : calls_ + nth;
  fail_at_mode_ = mode;
  failed_at_.reset();
}

std::optional<std::string> CountingAllocator::FailedAt() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failed_at_;
}

std::size_t CountingAllocator::Calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::size_t CountingAllocator::LiveBlocks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return live_.size();
}

std::size_t CountingAllocator::LiveBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return live_bytes_;
}

std::size_t CountingAllocator::BadFrees() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bad_frees_;
}

std::vector<std::string> CountingAllocator::Tags() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tags_;
}

void CountingAllocator::RecordTags(bool record) {
  std::lock_guard<std::mutex> lock(mutex_);
  record_tags_ = record;
}

std::map<std::string, std::size_t> CountingAllocator::LiveBlocksByTag() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::map<std::string, std::size_t> counts;
  for (const auto& [block, info] : live_) ++counts[info.tag];
  return counts;
}

std::vector<std::string> CountingAllocator::Reports() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reports_;
}

std::size_t CountingAllocator::StoredSize(const void* block) {
  std::uint64_t word = 0;
  std::memcpy(&word, static_cast<const unsigned char*>(block) - sizeof(word), sizeof(word));
  return static_cast<std::size_t>(word);
}

}  // namespace pga
