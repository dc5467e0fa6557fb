#include "tools/tree_printer.h"

#include <algorithm>
#include <cstring>
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
  Walker(const std::vector<Item>& items, const std::vector<uint32_t>& by_id,
         const std::function<void(const std::string&)>& emit,
         const std::function<void(std::size_t)>& progress)
      : items_(items),
        by_id_(by_id),
        emit_(emit),
        progress_(progress),
        printed_(items.size(), false) {
    by_parent_.resize(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) by_parent_[i] = static_cast<uint32_t>(i);
    // Siblings side by side, each family in the order it is printed.
    std::sort(by_parent_.begin(), by_parent_.end(), [this](uint32_t a, uint32_t b) {
      const Item& x = items_[a];
      const Item& y = items_[b];
      if (x.parent != y.parent) return x.parent < y.parent;
      return Before(a, b);
    });
  }

  void Run() {
    // The ids, sorted, tell a missing parent from a present one.
    const std::vector<uint32_t>& by_id = by_id_;
    const auto has_id = [&](std::string_view id) {
      const auto it = std::lower_bound(by_id.begin(), by_id.end(), id,
                                       [this](uint32_t a, std::string_view key) {
                                         return items_[a].id < key;
                                       });
      return it != by_id.end() && items_[*it].id == id;
    };

    const auto [roots_begin, roots_end] = Children(std::string_view());
    const std::vector<uint32_t> roots(roots_begin, roots_end);
    std::vector<uint32_t> orphans;
    for (std::size_t i = 0; i < items_.size(); ++i) {
      const std::string_view parent = items_[i].parent;
      if (!parent.empty() && !has_id(parent)) orphans.push_back(static_cast<uint32_t>(i));
    }
    std::sort(orphans.begin(), orphans.end(), [this](uint32_t a, uint32_t b) { return Before(a, b); });

    for (uint32_t root : roots) Walk(root, false);
    if (!orphans.empty()) Emit(kOrphansHeading);
    for (uint32_t orphan : orphans) Walk(orphan, true);

    // What is left hangs on a loop: start each walk at the smallest id left.
    bool heading = false;
    for (uint32_t i : by_id) {
      if (printed_[i]) continue;
      if (!heading) Emit(kCyclesHeading);
      heading = true;
      Walk(i, true);
    }
  }

 private:
  using Range = std::pair<std::vector<uint32_t>::const_iterator, std::vector<uint32_t>::const_iterator>;

  // Siblings by order, then by id, then as added.
  bool Before(uint32_t a, uint32_t b) const {
    const Item& x = items_[a];
    const Item& y = items_[b];
    if (x.order != y.order) return x.order < y.order;
    if (x.id != y.id) return x.id < y.id;
    return a < b;
  }

  // The items whose parent text is `parent`, in the order they are printed.
  Range Children(std::string_view parent) const {
    return std::equal_range(
        by_parent_.cbegin(), by_parent_.cend(), parent,
        [this](const auto& a, const auto& b) { return Parent(a) < Parent(b); });
  }
  std::string_view Parent(uint32_t index) const { return items_[index].parent; }
  static std::string_view Parent(std::string_view text) { return text; }

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
    // The empty parent text means the top level: an item with the empty id
    // is nobody's parent.
    const auto enter = [&](uint32_t parent, std::size_t depth) {
      const std::string_view id = items_[parent].id;
      stack.push_back(Frame{id.empty() ? Range(by_parent_.cend(), by_parent_.cend()) : Children(id),
                            depth});
    };
    enter(root, 1);
    while (!stack.empty()) {
      Frame& top = stack.back();
      if (top.pending.first == top.pending.second) {
        stack.pop_back();
        continue;
      }
      const uint32_t next = *top.pending.first++;
      if (printed_[next]) continue;
      printed_[next] = true;
      const std::size_t depth = top.depth;
      EmitItem(next, depth, false);
      enter(next, depth + 1);
    }
  }

  const std::vector<Item>& items_;
  const std::vector<uint32_t>& by_id_;
  const std::function<void(const std::string&)>& emit_;
  const std::function<void(std::size_t)>& progress_;
  std::vector<uint32_t> by_parent_;
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
  Walker(items_, ById(), line, progress).Run();
}

const std::vector<uint32_t>& TreePrinter::ById() const {
  if (!sorted_) {
    by_id_.resize(items_.size());
    for (std::size_t i = 0; i < items_.size(); ++i) by_id_[i] = static_cast<uint32_t>(i);
    std::sort(by_id_.begin(), by_id_.end(), [this](uint32_t a, uint32_t b) {
      return items_[a].id != items_[b].id ? items_[a].id < items_[b].id : a < b;
    });
    sorted_ = true;
  }
  return by_id_;
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
