#include "tools/tree_checker.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "group/group_request_handler.h"
#include "store/text_bytes.h"

namespace pga {

namespace {

using Kind = StoreValue::Kind;
using Severity = Finding::Severity;

// Ids named in one message at most; the finding's item list has them all.
constexpr std::size_t kNamedIds = 10;
constexpr std::size_t kTop = static_cast<std::size_t>(-1);
constexpr std::size_t kMissing = static_cast<std::size_t>(-2);

// A value as a message shows it: a text quoted, anything else by kind.
std::string Describe(const StoreValue& value) {
  char number[64];
  switch (value.kind) {
    case Kind::kText:
      return QuoteText(value.bytes);
    case Kind::kInteger:
      return "the integer " + std::to_string(value.integer);
    case Kind::kReal:
      std::snprintf(number, sizeof(number), "%.17g", value.real);
      return std::string("the real number ") + number;
    case Kind::kBlob:
      return "a blob of " + std::to_string(value.bytes.size()) + " bytes";
    case Kind::kNull:
      break;
  }
  return "NULL";
}

// The parent text that makes siblings: NULL, the empty text and values of
// the wrong kind all read as the top level.
std::string_view SiblingKey(const StoreRow& row) {
  return row.parent_id.is_text() ? std::string_view(row.parent_id.bytes) : std::string_view();
}

std::string Plural(std::size_t count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// Code points as the group requests count them: every byte that does not
// continue a UTF-8 sequence starts one.
std::size_t Characters(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

class Checker {
 public:
  explicit Checker(const std::vector<StoreRow>& rows)
      : rows_(rows), parent_(rows.size(), kTop), children_(rows.size()) {}

  std::vector<Finding> Run() {
    Link();
    for (std::size_t i = 0; i < rows_.size(); ++i) CheckRow(i);
    CheckStructure();
    CheckLeavesWithChildren();
    CheckOrders();
    for (Finding& warning : warnings_) findings_.push_back(std::move(warning));
    return std::move(findings_);
  }

 private:
  void Link();
  void CheckRow(std::size_t i);
  void CheckStructure();
  void MeasureSubtrees();
  void CheckLeavesWithChildren();
  void CheckOrders();
  void CheckSiblings(const std::vector<std::size_t>& siblings);

  // Items below `row` outside its loop, if it is on one.
  std::size_t Below(std::size_t row) const {
    std::size_t below = 0;
    for (std::size_t child : children_[row]) below += on_loop_[child] ? 0 : subtree_[child];
    return below;
  }
  std::string Name(std::size_t row) const {
    const StoreValue& id = rows_[row].item_id;
    return id.is_text() ? QuoteText(id.bytes) : "[" + Describe(id) + "]";
  }
  std::string Names(const std::vector<std::size_t>& rows) const {
    std::string names;
    for (std::size_t i = 0; i < rows.size() && i < kNamedIds; ++i) {
      names += (i > 0 ? ", " : "") + Name(rows[i]);
    }
    if (rows.size() > kNamedIds)
      names += " and " + std::to_string(rows.size() - kNamedIds) + " more";
    return names;
  }
  static std::string Place(std::string_view parent) {
    return parent.empty() ? "at the top level" : "under " + QuoteText(std::string(parent));
  }
  void Add(Severity severity, const char* kind, const std::vector<std::size_t>& rows,
           std::string message, std::size_t hides = 0) {
    Finding finding;
    finding.severity = severity;
    finding.kind = kind;
    for (std::size_t row : rows) finding.items.push_back(rows_[row].item_id);
    finding.message = std::move(message);
    finding.hides = hides;
    (severity == Severity::kProblem ? findings_ : warnings_).push_back(std::move(finding));
  }

  const std::vector<StoreRow>& rows_;
  std::vector<std::size_t> parent_;  // per row: a row, kTop or kMissing
  std::vector<std::vector<std::size_t>> children_;
  std::vector<bool> on_loop_;
  std::vector<std::size_t> subtree_;  // per row off loops: itself and all below
  std::vector<Finding> findings_;     // problems; the warnings join them at the end
  std::vector<Finding> warnings_;
};

void Checker::Link() {
  // The rows with a text id sorted by it, and by row where ids are equal:
  // the first row of an id comes first. A store's rows come in id order
  // already, and the check that they are costs one pass.
  std::vector<std::size_t> by_id;
  by_id.reserve(rows_.size());
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].item_id.is_text()) by_id.push_back(i);
  }
  const auto id = [this](std::size_t row) { return std::string_view(rows_[row].item_id.bytes); };
  const auto before = [&id](std::size_t a, std::size_t b) {
    const std::string_view x = id(a);
    const std::string_view y = id(b);
    return x != y ? x < y : a < b;
  };
  if (!std::is_sorted(by_id.begin(), by_id.end(), before)) {
    std::sort(by_id.begin(), by_id.end(), before);
  }
  std::vector<std::vector<std::size_t>> duplicates;
  for (std::size_t begin = 0; begin < by_id.size();) {
    std::size_t end = begin + 1;
    while (end < by_id.size() && id(by_id[end]) == id(by_id[begin])) ++end;
    if (end - begin > 1) duplicates.emplace_back(by_id.begin() + begin, by_id.begin() + end);
    begin = end;
  }
  // A tree has far fewer parents than items: each parent text is looked up
  // once.
  std::unordered_map<std::string_view, std::size_t> parents;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const std::string_view parent = SiblingKey(rows_[i]);
    if (parent.empty()) continue;
    auto known = parents.find(parent);
    if (known == parents.end()) {
      const auto it = std::lower_bound(by_id.begin(), by_id.end(), parent,
                                       [&id](std::size_t row, std::string_view key) {
                                         return id(row) < key;
                                       });
      const bool found = it != by_id.end() && id(*it) == parent;
      known = parents.emplace(parent, found ? *it : kMissing).first;
    }
    parent_[i] = known->second;
    if (known->second != kMissing) children_[known->second].push_back(i);
  }
  std::sort(duplicates.begin(), duplicates.end());
  for (const auto& rows : duplicates) {
    Add(Severity::kProblem, "duplicate-id", {rows.front()},
        Name(rows.front()) + " is the id of " + Plural(rows.size(), "item"));
  }
}

void Checker::CheckRow(std::size_t i) {
  const StoreRow& row = rows_[i];
  std::vector<std::string> wrong;
  const auto text_or_null = [&](const StoreValue& value, const char* column) {
    if (value.kind != Kind::kText && value.kind != Kind::kNull) {
      wrong.push_back(std::string(column) + " is " + Describe(value) + ", not text");
    }
  };
  if (!row.item_id.is_text()) wrong.push_back("uuid is " + Describe(row.item_id) + ", not text");
  text_or_null(row.parent_id, "parent_uuid");
  text_or_null(row.name, "name");
  if (row.order.kind != Kind::kInteger || row.order.integer < INT32_MIN ||
      row.order.integer > INT32_MAX) {
    wrong.push_back("order_ is " + Describe(row.order) + ", not a 32-bit integer");
  }
  if (row.created_time.kind != Kind::kInteger && row.created_time.kind != Kind::kNull) {
    wrong.push_back("created_time is " + Describe(row.created_time) + ", not an integer");
  }
  if (!wrong.empty()) {
    std::string message = Name(i) + ": " + wrong.front();
    for (std::size_t w = 1; w < wrong.size(); ++w) message += "; " + wrong[w];
    Add(Severity::kProblem, "bad-value", {i}, message);
  }

  const bool group = row.type.is_text() && row.type.bytes == kGroupType;
  const bool channel = row.type.is_text() && row.type.bytes == kChannelType;
  if (!group && !channel) {
    Add(Severity::kProblem, "bad-type", {i},
        Name(i) + " has the type " + Describe(row.type) + ", neither \"Group\" nor \"Channel\"");
  }
  if (row.item_id.is_text() && row.item_id.bytes.empty()) {
    Add(Severity::kProblem, "empty-id", {i},
        "an item has the empty id (name " + Describe(row.name) + ")");
  }
  const std::string& name = row.name.TextOrEmpty();
  if (group && !IsValidGroupName(name)) {
    Add(Severity::kProblem, "group-name", {i},
        name.empty()
            ? "group " + Name(i) + " has no name"
            : "group " + Name(i) + " has a name of " + Plural(Characters(name), "character") +
                  ", not 1 to " + std::to_string(kMaxGroupNameLength) + ": " + QuoteText(name));
  }
}

void Checker::CheckStructure() {
  // Everything reached from the top level or from an item whose parent is
  // missing hangs on no loop; what is left is on a loop or below one.
  std::vector<bool> reached(rows_.size(), false);
  std::vector<std::size_t> pending;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (parent_[i] == kTop || parent_[i] == kMissing) pending.push_back(i);
  }
  while (!pending.empty()) {
    const std::size_t row = pending.back();
    pending.pop_back();
    reached[row] = true;
    for (std::size_t child : children_[row]) pending.push_back(child);
  }

  on_loop_.assign(rows_.size(), false);
  std::vector<std::vector<std::size_t>> loops;
  std::vector<char> walked(rows_.size(), 0);  // 1 on the current walk, 2 done
  for (std::size_t start = 0; start < rows_.size(); ++start) {
    if (reached[start] || walked[start] != 0) continue;
    // Every parent up from here is a row: the walk ends on a row seen before.
    std::vector<std::size_t> path;
    std::size_t row = start;
    for (; walked[row] == 0; row = parent_[row]) {
      walked[row] = 1;
      path.push_back(row);
    }
    if (walked[row] == 1) {
      const auto first = std::find(path.begin(), path.end(), row);
      std::vector<std::size_t> loop(first, path.end());
      for (std::size_t member : loop) on_loop_[member] = true;
      std::rotate(loop.begin(), std::min_element(loop.begin(), loop.end()), loop.end());
      loops.push_back(std::move(loop));
    }
    for (std::size_t member : path) walked[member] = 2;
  }

  MeasureSubtrees();
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (parent_[i] != kMissing) continue;
    Add(Severity::kProblem, "orphan", {i},
        Name(i) + " has the parent " + QuoteText(rows_[i].parent_id.bytes) +
            ", which is not in the tree",
        subtree_[i]);
  }
  std::sort(loops.begin(), loops.end());
  for (const std::vector<std::size_t>& loop : loops) {
    std::size_t hides = loop.size();
    for (std::size_t member : loop) hides += Below(member);
    if (loop.size() == 1) {
      Add(Severity::kProblem, "self-parent", loop, Name(loop.front()) + " is its own parent",
          hides);
      continue;
    }
    std::string chain = "parent chain loops: ";
    for (std::size_t i = 0; i < loop.size() && i < kNamedIds; ++i) chain += Name(loop[i]) + " -> ";
    chain +=
        loop.size() > kNamedIds ? "... (" + Plural(loop.size(), "item") + ")" : Name(loop.front());
    Add(Severity::kProblem, "cycle", loop, chain, hides);
  }
}

void Checker::MeasureSubtrees() {
  // Breadth first from every root off the loops, then sizes from the
  // deepest rows up.
  std::vector<std::size_t> order;
  order.reserve(rows_.size());
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const std::size_t parent = parent_[i];
    const bool root = parent == kTop || parent == kMissing || on_loop_[parent];
    if (root && !on_loop_[i]) order.push_back(i);
  }
  for (std::size_t next = 0; next < order.size(); ++next) {
    for (std::size_t child : children_[order[next]]) order.push_back(child);
  }
  subtree_.assign(rows_.size(), 1);
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const std::size_t parent = parent_[*it];
    if (parent != kTop && parent != kMissing && !on_loop_[parent])
      subtree_[parent] += subtree_[*it];
  }
}

void Checker::CheckLeavesWithChildren() {
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const StoreValue& type = rows_[i].type;
    if (children_[i].empty() || (type.is_text() && type.bytes == kGroupType)) continue;
    const bool channel = type.is_text() && type.bytes == kChannelType;
    Add(Severity::kProblem, channel ? "channel-with-children" : "leaf-with-children", {i},
        (channel ? "channel " + Name(i) : Name(i) + " of type " + Describe(type)) + " has " +
            (children_[i].size() == 1 ? std::string("1 child")
                                      : std::to_string(children_[i].size()) + " children") +
            "; only groups hold items",
        Below(i));
  }
}

void Checker::CheckOrders() {
  // Siblings side by side, by order, then by row; families by their parent
  // text. A found parent's children are its family already, so that only
  // the few families (not the many items) are sorted by text.
  struct Family {
    std::string_view parent;
    std::vector<std::size_t> rows;
  };
  std::vector<Family> families;
  std::vector<std::size_t> top;
  std::vector<std::size_t> missing;  // rows whose parent is not in the tree
  const auto ordered = [this](std::size_t row) { return rows_[row].order.kind == Kind::kInteger; };
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (!ordered(i)) continue;
    if (parent_[i] == kTop) {
      top.push_back(i);
    } else if (parent_[i] == kMissing) {
      missing.push_back(i);
    }
  }
  if (!top.empty()) families.push_back(Family{std::string_view(), std::move(top)});
  std::stable_sort(missing.begin(), missing.end(), [this](std::size_t a, std::size_t b) {
    return SiblingKey(rows_[a]) < SiblingKey(rows_[b]);
  });
  for (std::size_t begin = 0; begin < missing.size();) {
    std::size_t end = begin + 1;
    const std::string_view parent = SiblingKey(rows_[missing[begin]]);
    while (end < missing.size() && SiblingKey(rows_[missing[end]]) == parent) ++end;
    families.push_back(
        Family{parent, std::vector<std::size_t>(missing.begin() + begin, missing.begin() + end)});
    begin = end;
  }
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (children_[i].empty()) continue;
    Family family{std::string_view(rows_[i].item_id.bytes), {}};
    for (std::size_t child : children_[i]) {
      if (ordered(child)) family.rows.push_back(child);
    }
    if (!family.rows.empty()) families.push_back(std::move(family));
  }
  std::sort(families.begin(), families.end(),
            [](const Family& a, const Family& b) { return a.parent < b.parent; });
  // Sorted as (order, row) pairs side by side: a family of a million
  // siblings is sorted without reaching into a million rows again and again.
  std::vector<std::pair<int64_t, std::size_t>> by_order;
  for (Family& family : families) {
    by_order.clear();
    for (std::size_t row : family.rows) by_order.emplace_back(rows_[row].order.integer, row);
    std::sort(by_order.begin(), by_order.end());
    for (std::size_t i = 0; i < by_order.size(); ++i) family.rows[i] = by_order[i].second;
    CheckSiblings(family.rows);
  }
}

void Checker::CheckSiblings(const std::vector<std::size_t>& siblings) {
  const std::string_view parent = SiblingKey(rows_[siblings.front()]);
  const auto order = [this](std::size_t row) { return rows_[row].order.integer; };
  for (std::size_t begin = 0; begin < siblings.size();) {
    std::size_t end = begin + 1;
    while (end < siblings.size() && order(siblings[end]) == order(siblings[begin])) ++end;
    if (end - begin > 1) {
      const std::vector<std::size_t> same(siblings.begin() + begin, siblings.begin() + end);
      Add(Severity::kWarning, "equal-orders", same,
          Names(same) + " " + Place(parent) + " share the order " +
              std::to_string(order(siblings[begin])));
    }
    begin = end;
  }
  // The last group; every channel before it is out of place.
  const auto is = [this](std::size_t row, const char* type) {
    return rows_[row].type.is_text() && rows_[row].type.bytes == type;
  };
  const auto last_group = std::find_if(siblings.rbegin(), siblings.rend(),
                                       [&](std::size_t row) { return is(row, kGroupType); });
  if (last_group == siblings.rend()) return;
  std::vector<std::size_t> early;
  for (std::size_t row : siblings) {
    if (is(row, kChannelType) && order(row) < order(*last_group)) early.push_back(row);
  }
  if (early.empty()) return;
  const std::string group =
      "group " + Name(*last_group) + " (order " + std::to_string(order(*last_group)) + ")";
  std::string message = Place(parent) + ", ";
  message += early.size() == 1
                 ? "channel " + Name(early.front()) + " (order " +
                       std::to_string(order(early.front())) + ") comes before " + group
                 : Plural(early.size(), "channel") + " come before " + group + ": " + Names(early);
  early.push_back(*last_group);
  Add(Severity::kWarning, "channel-before-group", early, message);
}

}  // namespace

std::string Finding::Line() const {
  std::string line = severity == Severity::kProblem ? "problem " : "warning ";
  line += kind + ": " + message;
  if (hides > 0) line += "; hides " + Plural(hides, "item");
  return line;
}

std::vector<Finding> CheckTree(const std::vector<StoreRow>& rows) { return Checker(rows).Run(); }

std::size_t CountProblems(const std::vector<Finding>& findings) {
  return static_cast<std::size_t>(
      std::count_if(findings.begin(), findings.end(),
                    [](const Finding& f) { return f.severity == Severity::kProblem; }));
}

}  // namespace pga
