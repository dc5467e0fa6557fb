#include "host/tree_printer.h"

#include <algorithm>
#include <set>
#include <utility>

namespace pga {

namespace {

constexpr char kOrphansHeading[] = "orphans (parent not in the tree):";
constexpr char kCyclesHeading[] = "cycles (parent chain loops):";

}  // namespace

TreePrinter::TreePrinter(const GroupOrderModelList& items) {
  for (const auto& item : items) {
    if (item != nullptr) items_.push_back(*item);
  }
  for (std::size_t i = 0; i < items_.size(); ++i) children_.emplace(items_[i].ParentText(), i);
}

std::vector<std::size_t> TreePrinter::Sorted(std::vector<std::size_t> indices) const {
  std::sort(indices.begin(), indices.end(), [this](std::size_t a, std::size_t b) {
    const GroupOrderModel& x = items_[a];
    const GroupOrderModel& y = items_[b];
    if (x.order != y.order) return x.order < y.order;
    if (x.itemId != y.itemId) return x.itemId < y.itemId;
    return a < b;
  });
  return indices;
}

std::string TreePrinter::Line(std::size_t index, std::size_t depth, bool note_parent) const {
  const GroupOrderModel& item = items_[index];
  std::string line(2 * std::min(depth, kMaxIndentLevels), ' ');
  if (depth > kMaxIndentLevels) line += "(depth " + std::to_string(depth) + ") ";
  line += item.type == kGroupType ? "+ " : "- ";
  line += item.name.empty() ? "(no name)" : item.name;
  line += " (" + item.itemId + ") order " + std::to_string(item.order);
  if (note_parent) line += ", parent " + item.ParentText();
  return line;
}

void TreePrinter::Walk(std::size_t root, bool note_parent, std::vector<bool>& printed,
                       std::vector<std::string>& lines) const {
  struct Frame {
    std::vector<std::size_t> pending;  // children still to print, reversed
    std::size_t depth;
  };
  printed[root] = true;
  lines.push_back(Line(root, 0, note_parent));
  std::vector<Frame> stack;
  auto enter = [&](std::size_t parent, std::size_t depth) {
    std::vector<std::size_t> below;
    // The empty parent text means the top level: an item with the empty id
    // is nobody's parent.
    auto range = items_[parent].itemId.empty() ? std::make_pair(children_.end(), children_.end())
                                               : children_.equal_range(items_[parent].itemId);
    for (auto it = range.first; it != range.second; ++it) {
      if (!printed[it->second]) below.push_back(it->second);
    }
    below = Sorted(std::move(below));
    std::reverse(below.begin(), below.end());
    stack.push_back(Frame{std::move(below), depth});
  };
  enter(root, 1);
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.pending.empty()) {
      stack.pop_back();
      continue;
    }
    const std::size_t next = top.pending.back();
    top.pending.pop_back();
    if (printed[next]) continue;
    printed[next] = true;
    const std::size_t depth = top.depth;
    lines.push_back(Line(next, depth, false));
    enter(next, depth + 1);
  }
}

std::vector<std::string> TreePrinter::Lines() const {
  if (items_.empty()) return {"(empty tree)"};
  std::set<std::string> ids;
  for (const GroupOrderModel& item : items_) ids.insert(item.itemId);

  std::vector<std::size_t> roots;
  std::vector<std::size_t> orphans;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    const std::string& parent = items_[i].ParentText();
    if (parent.empty()) {
      roots.push_back(i);
    } else if (ids.count(parent) == 0) {
      orphans.push_back(i);
    }
  }

  std::vector<bool> printed(items_.size(), false);
  std::vector<std::string> lines;
  for (std::size_t root : Sorted(std::move(roots))) Walk(root, false, printed, lines);
  if (!orphans.empty()) lines.push_back(kOrphansHeading);
  for (std::size_t orphan : Sorted(std::move(orphans))) Walk(orphan, true, printed, lines);

  // What is left hangs on a loop: start each walk at the smallest id left.
  std::vector<std::size_t> rest;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (!printed[i]) rest.push_back(i);
  }
  std::sort(rest.begin(), rest.end(), [this](std::size_t a, std::size_t b) {
    return items_[a].itemId != items_[b].itemId ? items_[a].itemId < items_[b].itemId : a < b;
  });
  bool heading = false;
  for (std::size_t i : rest) {
    if (printed[i]) continue;
    if (!heading) lines.push_back(kCyclesHeading);
    heading = true;
    Walk(i, true, printed, lines);
  }
  return lines;
}

}  // namespace pga
