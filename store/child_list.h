// The children of one parent in the item cache, in id order.
#ifndef PGA_STORE_CHILD_LIST_H_
#define PGA_STORE_CHILD_LIST_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

namespace pga {

// A sorted map from child id to a value, kept as short sorted runs of at
// most kMaxRun slots instead of one tree node per child; an id of up to
// kInlineId bytes is copied into its slot.
//
// Why: a walk below a group reads each parent's children one after the
// other. As tree nodes, with their ids kept apart, they lie wherever each
// item was cached, cache misses apart once the tree outgrows the
// processor's caches (at 100,000 items, BM_GroupChannels took 2.1 times
// its time at 10,000); as runs they lie side by side, ids and all, in 56
// bytes a child instead of a node's 80 beside the id. A run is short, so
// that an insertion into a parent with tens of thousands of children
// moves at most one run.
// Not thread-safe.
template <typename Value>
class ChildList {
 public:
  static constexpr std::size_t kMaxRun = 64;
  // Longer ids are views of the id text the caller keeps in place for as
  // long as the child is here (the item cache's own ids).
  static constexpr std::size_t kInlineId = 38;

  // One child: its id and its value.
  class Slot {
   public:
    Slot(std::string_view id, const Value& value)
        : size_(static_cast<uint16_t>(kLong)), value_(value) {
      if (id.size() <= kInlineId) {
        size_ = static_cast<uint16_t>(id.size());
        std::memcpy(text_, id.data(), id.size());
      } else {
        const LongId long_id{id.data(), id.size()};
        std::memcpy(text_, &long_id, sizeof(long_id));
      }
    }
    std::string_view id() const {
      if (size_ != kLong) return std::string_view(text_, size_);
      LongId long_id;
      std::memcpy(&long_id, text_, sizeof(long_id));
      return std::string_view(long_id.data, long_id.size);
    }
    const Value& value() const { return value_; }
    Value& value() { return value_; }

   private:
    struct LongId {
      const char* data;
      std::size_t size;
    };
    static constexpr std::size_t kLong = 0xffff;
    static_assert(sizeof(LongId) <= kInlineId);
    char text_[kInlineId];
    uint16_t size_;
    Value value_;
  };
  using value_type = Slot;

  class const_iterator {
   public:
    const_iterator() = default;
    const value_type& operator*() const { return (*runs_)[run_][index_]; }
    const value_type* operator->() const { return &**this; }
    const_iterator& operator++() {
      if (++index_ == (*runs_)[run_].size()) {
        ++run_;
        index_ = 0;
      }
      return *this;
    }
    bool operator==(const const_iterator& other) const {
      return run_ == other.run_ && index_ == other.index_;
    }
    bool operator!=(const const_iterator& other) const { return !(*this == other); }

   private:
    friend class ChildList;
    const_iterator(const std::vector<std::vector<value_type>>* runs, std::size_t run)
        : runs_(runs), run_(run) {}
    const std::vector<std::vector<value_type>>* runs_ = nullptr;
    std::size_t run_ = 0;
    std::size_t index_ = 0;
  };

  const_iterator begin() const { return const_iterator(&runs_, 0); }
  const_iterator end() const { return const_iterator(&runs_, runs_.size()); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // The value of `id`, or null; valid until the next insertion or erasure.
  const Value* Find(std::string_view id) const {
    const std::size_t run = RunOf(id);
    if (run == runs_.size()) return nullptr;
    auto at = LowerBound(runs_[run], id);
    return at->id() == id ? &at->value() : nullptr;
  }
  Value* Find(std::string_view id) {
    return const_cast<Value*>(static_cast<const ChildList*>(this)->Find(id));
  }
  // Adds `id` with `value` unless `id` is there already. `last`: `id`
  // most likely follows every id here, as when items arrive in id order;
  // it then goes in at the end without a search.
  void Insert(std::string_view id, const Value& value, bool last = false) {
    // A run grows as a vector does, so that a parent of a few children
    // takes room for a few.
    if (runs_.empty() || (last && runs_.back().back().id() < id)) {
      if (runs_.empty() || runs_.back().size() == kMaxRun) runs_.emplace_back();
      runs_.back().emplace_back(id, value);
      ++size_;
      return;
    }
    // Past the last id: into the last run, which is where it belongs.
    std::size_t run = std::min(RunOf(id), runs_.size() - 1);
    auto at = LowerBound(runs_[run], id);
    if (at != runs_[run].end() && at->id() == id) return;
    if (runs_[run].size() == kMaxRun) {
      // Split a full run in two halves first, so that no run outgrows
      // kMaxRun and the next insertions nearby move half a run.
      Run& full = runs_[run];
      Run upper(std::make_move_iterator(full.begin() + kMaxRun / 2),
                std::make_move_iterator(full.end()));
      full.erase(full.begin() + kMaxRun / 2, full.end());
      const bool above = !(id < upper.front().id());
      runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(run) + 1, std::move(upper));
      if (above) ++run;
      at = LowerBound(runs_[run], id);
    }
    runs_[run].emplace(at, id, value);
    ++size_;
  }
  // Moves every child of `later`, each of whose ids follows every id here,
  // to the end, its runs as they are; `later` is left empty.
  void Append(ChildList&& later) {
    runs_.insert(runs_.end(), std::make_move_iterator(later.runs_.begin()),
                 std::make_move_iterator(later.runs_.end()));
    size_ += later.size_;
    later.runs_.clear();
    later.size_ = 0;
  }
  // Removes `id`, if there.
  void Erase(std::string_view id) {
    const std::size_t run = RunOf(id);
    if (run == runs_.size()) return;
    Run& from = runs_[run];
    auto at = LowerBound(from, id);
    if (at->id() != id) return;
    from.erase(at);
    --size_;
    if (from.empty()) {
      runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(run));
      return;
    }
    // After many removals, runs do not thin out into many small ones each
    // holding the room of a full run: a run left with less than a quarter
    // takes in the next when both fit in half a run, and gives back room
    // it no longer needs.
    if (from.size() < kMaxRun / 4) {
      if (run + 1 < runs_.size() && from.size() + runs_[run + 1].size() <= kMaxRun / 2) {
        Run& next = runs_[run + 1];
        from.insert(from.end(), next.begin(), next.end());
        runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(run) + 1);
      }
      if (from.capacity() >= 2 * from.size() + 8) from.shrink_to_fit();
    }
  }

 private:
  using Run = std::vector<value_type>;
  // The first run whose last id is not below `id`, or runs_.size().
  std::size_t RunOf(std::string_view id) const {
    auto at = std::lower_bound(
        runs_.begin(), runs_.end(), id,
        [](const Run& run, std::string_view key) { return run.back().id() < key; });
    return static_cast<std::size_t>(at - runs_.begin());
  }
  // The first entry of `run` whose id is not below `id`.
  template <typename RunType>
  static auto LowerBound(RunType& run, std::string_view id) {
    return std::lower_bound(run.begin(), run.end(), id,
                            [](const Slot& slot, std::string_view key) { return slot.id() < key; });
  }

  std::vector<Run> runs_;  // None empty; each sorted, each after the one before.
  std::size_t size_ = 0;
};

}  // namespace pga

#endif  // PGA_STORE_CHILD_LIST_H_
