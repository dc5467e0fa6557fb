#include "tools/tree_printer.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <utility>

namespace pga {

namespace {

constexpr char kOrphansHeading[] = "orphans (parent not in the tree):";
constexpr char kCyclesHeading[] = "cycles (parent chain loops):";
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
constexpr std::size_t kProgressStep = 4096;

}  // namespace

// One printing of the outline: the items sorted as siblings are printed,
// which of them are printed already, and the line being made.
class TreePrinter::Walker {
 public:
  Walker(const TreePrinter& printer, const std::function<void(const std::string&)>& emit,
         const std::function<void(std::size_t)>& progress)
      : items_(printer.items_),
        by_id_(printer.ById()),
        emit_(emit),
        progress_(progress),
        printed_(items_.size(), false) {
    // Every id as the position of its first item in id order, and every
    // parent as the id it names: siblings are then sorted by numbers alone.
    // Comparing the texts themselves, a million items at random places in
    // memory, took most of the printing.
    rank_.resize(items_.size());
    for (std::size_t at = 0; at < by_id_.size(); ++at) {
      const bool repeated = at > 0 && items_[by_id_[at]].id == items_[by_id_[at - 1]].id;
      rank_[by_id_[at]] = repeated ? rank_[by_id_[at - 1]] : static_cast<uint32_t>(at);
    }
    by_parent_.resize(items_.size());
    for (std::size_t i = 0; i < items_.size(); ++i) {
      const Item& item = items_[i];
      uint32_t parent = kTopLevel;
      if (!item.parent.empty()) {
        const std::size_t found = printer.Find(item.parent);
        parent = found == kNowhere ? kMissing : kFirstRank + static_cast<uint32_t>(found);
      }
      by_parent_[i] = Sibling{parent, item.order, rank_[i], static_cast<uint32_t>(i)};
    }
    // Siblings side by side, each family in the order it is printed: by
    // order, then by id, then as added.
    std::sort(by_parent_.begin(), by_parent_.end(), [](const Sibling& a, const Sibling& b) {
      return std::tie(a.parent, a.order, a.id, a.item) < std::tie(b.parent, b.order, b.id, b.item);
    });
  }

  void Run() {
    // The top level's family, then those whose parent names no item,
    // already in the order they are printed.
    const Range roots = Family(kTopLevel);
    const std::vector<Sibling> orphans(Family(kMissing).first, Family(kMissing).second);
    for (auto it = roots.first; it != roots.second; ++it) Walk(it->item, false);
    if (!orphans.empty()) Emit(kOrphansHeading);
    for (const Sibling& orphan : orphans) Walk(orphan.item, true);

    // What is left hangs on a loop: start each walk at the smallest id left.
    bool heading = false;
    for (uint32_t i : by_id_) {
      if (printed_[i]) continue;
      if (!heading) Emit(kCyclesHeading);
      heading = true;
      Walk(i, true);
    }
  }

 private:
  // An item's place among its siblings: its parent (kTopLevel, kMissing or
  // kFirstRank plus the parent's rank), its order, its id's rank and the
  // item itself.
  struct Sibling {
    uint32_t parent;
    int32_t order;
    uint32_t id;
    uint32_t item;
  };
  using Range =
      std::pair<std::vector<Sibling>::const_iterator, std::vector<Sibling>::const_iterator>;
  static constexpr uint32_t kTopLevel = 0;
  static constexpr uint32_t kMissing = 1;
  static constexpr uint32_t kFirstRank = 2;

  // The items whose parent is `parent`, in the order they are printed.
  Range Family(uint32_t parent) const {
    return std::equal_range(by_parent_.cbegin(), by_parent_.cend(), Sibling{parent, 0, 0, 0},
                            [](const Sibling& a, const Sibling& b) { return a.parent < b.parent; });
  }

  // The children of `item`. The empty parent text means the top level: an
  // item with the empty id is nobody's parent.
  Range Children(uint32_t item) const {
    if (items_[item].id.empty()) return Range(by_parent_.cend(), by_parent_.cend());
    return Family(kFirstRank + rank_[item]);
  }

  void Emit(const char* text) {
    line_ = text;
    emit_(line_);
  }

  void EmitItem(uint32_t index, std::size_t depth, bool note_parent) {
    const Item& item = items_[index];
    line_.assign(2 * std::min(depth, kMaxIndentLevels), ' ');
    if (depth > kMaxIndentLevels) line_ += "(depth " + std::to_string(depth) + ") ";
    line_ += item.group ? "+ " : "- ";
    if (item.name.empty()) {
      line_ += "(no name)";
    } else {
      line_ += item.name;
    }
    line_ += " (";
    line_ += item.id;
    line_ += ") order ";
    line_ += std::to_string(item.order);
    if (note_parent) {
      line_ += ", parent ";
      line_ += item.parent;
    }
    emit_(line_);
    if (progress_ && ++done_ % kProgressStep == 0) progress_(done_);
  }

  // Prints `root` and everything below it that was not printed yet.
  void Walk(uint32_t root, bool note_parent) {
    struct Frame {
      Range pending;  // children still to look at
      std::size_t depth;
    };
    printed_[root] = true;
    EmitItem(root, 0, note_parent);
    std::vector<Frame> stack;
    stack.push_back(Frame{Children(root), 1});
    while (!stack.empty()) {
      Frame& top = stack.back();
      if (top.pending.first == top.pending.second) {
        stack.pop_back();
        continue;
      }
      const uint32_t next = (top.pending.first++)->item;
      if (printed_[next]) continue;
      printed_[next] = true;
      const std::size_t depth = top.depth;
      EmitItem(next, depth, false);
      stack.push_back(Frame{Children(next), depth + 1});
    }
  }

  const std::vector<Item>& items_;
  const std::vector<uint32_t>& by_id_;
  const std::function<void(const std::string&)>& emit_;
  const std::function<void(std::size_t)>& progress_;
  std::vector<uint32_t> rank_;  // of each item's id
  std::vector<Sibling> by_parent_;
  std::vector<bool> printed_;
  std::string line_;
  std::size_t done_ = 0;
};

TreePrinter::TreePrinter(const GroupOrderModelList& items) {
  items_.reserve(items.size());
  for (const auto& item : items) {
    if (item != nullptr) {
      Add(item->itemId, item->ParentText(), item->name, item->type == kGroupType, item->order);
    }
  }
}

std::string_view TreePrinter::Keep(std::string_view text) {
  if (text.empty()) return std::string_view();
  if (text.size() > block_left_) {
    const std::size_t size = std::max(kBlockBytes, text.size());
    blocks_.push_back(std::make_unique<char[]>(size));
    free_ = blocks_.back().get();
    block_left_ = size;
  }
  char* start = free_;
  std::memcpy(start, text.data(), text.size());
  free_ += text.size();
  block_left_ -= text.size();
  return std::string_view(start, text.size());
}

void TreePrinter::Add(std::string_view id, std::string_view parent, std::string_view name,
                      bool group, int32_t order) {
  sorted_ = false;
  items_.push_back(Item{Keep(id), Keep(parent), Keep(name), order, group});
}

void TreePrinter::Print(const std::function<void(const std::string&)>& line,
                        const std::function<void(std::size_t)>& progress) const {
  if (items_.empty()) {
    line("(empty tree)");
    return;
  }
  Walker(*this, line, progress).Run();
}

const std::vector<uint32_t>& TreePrinter::ById() const {
  if (sorted_) return by_id_;
  // Most comparisons end at the first eight bytes, taken as a number,
  // without reaching for the texts.
  struct Key {
    uint64_t prefix;
    uint32_t item;
  };
  std::vector<Key> keys(items_.size());
  for (std::size_t i = 0; i < items_.size(); ++i) {
    keys[i] = Key{IdPrefix(items_[i].id), static_cast<uint32_t>(i)};
  }
  std::sort(keys.begin(), keys.end(), [this](const Key& a, const Key& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    const std::string_view x = items_[a.item].id;
    const std::string_view y = items_[b.item].id;
    return x != y ? x < y : a.item < b.item;
  });
  by_id_.resize(keys.size());
  prefixes_.resize(keys.size());
  for (std::size_t at = 0; at < keys.size(); ++at) {
    by_id_[at] = keys[at].item;
    prefixes_[at] = keys[at].prefix;
  }
  sorted_ = true;
  return by_id_;
}

uint64_t TreePrinter::IdPrefix(std::string_view id) {
  uint64_t prefix = 0;
  for (std::size_t b = 0; b < 8; ++b) {
    prefix = prefix << 8 | (b < id.size() ? static_cast<unsigned char>(id[b]) : 0u);
  }
  return prefix;
}

std::size_t TreePrinter::Find(std::string_view id) const {
  ById();
  const uint64_t prefix = IdPrefix(id);
  const auto [first, last] = std::equal_range(prefixes_.begin(), prefixes_.end(), prefix);
  const auto same = std::lower_bound(
      by_id_.begin() + (first - prefixes_.begin()), by_id_.begin() + (last - prefixes_.begin()), id,
      [this](uint32_t item, std::string_view key) { return items_[item].id < key; });
  const std::size_t at = static_cast<std::size_t>(same - by_id_.begin());
  return at < by_id_.size() && items_[by_id_[at]].id == id ? at : kNowhere;
}

bool TreePrinter::UniqueIds() const {
  const std::vector<uint32_t>& by_id = ById();
  for (std::size_t i = 1; i < by_id.size(); ++i) {
    if (items_[by_id[i - 1]].id == items_[by_id[i]].id) return false;
  }
  return true;
}

std::vector<std::string> TreePrinter::Lines() const {
  std::vector<std::string> lines;
  Print([&lines](const std::string& line) { lines.push_back(line); });
  return lines;
}

}  // namespace pga
