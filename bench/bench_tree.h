// BenchTree: the camera trees that the benchmarks run on, as rows and as
// ready-made database files.
#ifndef PGA_BENCH_BENCH_TREE_H_
#define PGA_BENCH_BENCH_TREE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct sqlite3_stmt;

namespace pga {

// One stored item, in the column order of "logical_table".
struct TreeRow {
  std::string id;
  std::string parent;
  std::string name;
  std::string type;
  int32_t order = 0;
  int64_t created_time = 0;
};

// Binds `row` to the six parameters of an INSERT into logical_table (uuid,
// parent_uuid, name, type, order_, created_time); the texts are not copied,
// so `row` must outlive the step.
void BindTreeRow(sqlite3_stmt* insert, const TreeRow& row);

// Steps `select` (its six columns in the same order) to its end and gives
// every row as a TreeRow: what the benchmarks' raw SQLite baselines read.
std::vector<TreeRow> ReadTreeRows(sqlite3_stmt* select);

// A tree of exactly `size` items (at least kFixedItems) with the shapes the
// benchmarks need, then top-level channels up to the size:
// - a top-level group with 2,000 channels three levels below it (10 groups,
//   each with 10 groups, each with 20 channels);
// - a top-level group with 200 children: 20 groups (orders 1..20), then 180
//   channels (orders 21..200);
// - 10 top-level region groups of 10 groups each; the first 50 of those
//   groups hold 10 channels, the other 50 hold 20. The 1,000 removable
//   channels are all channels of the first 50 groups and 10 of each of the
//   others, so a removal empties half the groups and five regions.
// Ids look like UUIDs (36 characters), as the platform's ids do.
class BenchTree {
 public:
  static constexpr std::size_t kFixedItems = 2111 + 201 + 1610;

  explicit BenchTree(std::size_t size);

  // A UUID-shaped id made from `kind` (one hex digit) and `number`.
  static std::string Uuid(unsigned kind, uint64_t number);

  const std::vector<TreeRow>& rows() const { return rows_; }
  const std::string& deep_group() const { return deep_group_; }
  const std::string& crowded_parent() const { return crowded_parent_; }
  // The 180 channels of the crowded parent, orders 21..200.
  const std::vector<std::string>& crowded_channels() const { return crowded_channels_; }
  const std::vector<std::string>& removable_channels() const { return removable_channels_; }
  // Ten top-level channels that the mapping benchmark moves.
  const std::vector<std::string>& movable_channels() const { return movable_channels_; }

  // Makes "group.db" in the current directory a fresh copy of this tree, as
  // the store of this build lays it out (its table and whatever the store
  // adds when it opens). The first call per size builds a template file
  // beside it; later calls copy the template. Throws std::runtime_error.
  void Install() const;

 private:
  std::string AddRow(unsigned kind, const std::string& parent, const char* type, int32_t order);
  void BuildTemplate(const std::string& path) const;

  std::size_t size_;
  std::vector<TreeRow> rows_;
  std::string deep_group_;
  std::string crowded_parent_;
  std::vector<std::string> crowded_channels_;
  std::vector<std::string> removable_channels_;
  std::vector<std::string> movable_channels_;
};

// The tree of `size` items, made once per run. The first call changes into
// a new temporary directory, where the store and the template files live
// for the rest of the run; it is deleted at exit.
const BenchTree& SharedTree(std::size_t size);

}  // namespace pga

#endif  // PGA_BENCH_BENCH_TREE_H_
