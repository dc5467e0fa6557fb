// StoreAccess: the stored tree as the store verbs see it, whichever store
// keeps it (group.db through SQLite, or a PostgreSQL database that several
// servers share). A verb reads, checks and replaces the rows through it and
// never needs to know which store it is on.
#ifndef PGA_TOOLS_STORE_ACCESS_H_
#define PGA_TOOLS_STORE_ACCESS_H_

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tools/store_row.h"
#include "tools/tree_checker.h"

namespace pga {

class StoreAccess {
 public:
  // Called now and then while rows go by, with the number done so far.
  using Progress = std::function<void(std::size_t done)>;

  virtual ~StoreAccess() = default;

  // How the verbs name the store in what they print.
  virtual std::string name() const = 0;

  // The start of the progress line that checking the storage shows on a
  // terminal when it takes long ("check", "restore: checking the copy").
  void set_progress_label(std::string label) { progress_label_ = std::move(label); }

  // Findings about the store below its rows: damage its database reports,
  // and every object that the component does not create (or of another
  // form) on or beside its table. False with a one-line reason when it is
  // not a group store at all.
  virtual bool CheckStorage(std::vector<Finding>& findings, std::string& error) = 0;

  // What a check does with the rows once Read has given them: `read`
  // false when they could not be read (`why` says why; `rows` is empty).
  using RowsRead =
      std::function<void(bool read, std::vector<StoreRow>& rows, const std::string& why)>;

  // CheckStorage and Read both, the rows handed to `rows_read`: a store
  // that can read its rows while its storage is checked does both at once
  // (and calls `rows_read` on another thread). False, with a reason, when
  // CheckStorage fails; `rows_read` may then not be called.
  virtual bool CheckAndRead(std::vector<Finding>& findings, const RowsRead& rows_read,
                            std::string& error) {
    if (!CheckStorage(findings, error)) return false;
    std::vector<StoreRow> rows;
    std::string why;
    const bool read = Read(rows, why);
    if (!read) rows.clear();
    rows_read(read, rows, why);
    return true;
  }

  // Every row, in id order (byte-wise), from one consistent state of the
  // store even while a component writes.
  virtual bool Read(std::vector<StoreRow>& rows, std::string& error,
                    const Progress& progress = {}) = 0;

  // The same rows, not necessarily in id order, with `order` listing them
  // in id order: for a reader that goes through them once.
  virtual bool ReadInOrder(std::vector<StoreRow>& rows, std::vector<std::size_t>& order,
                           std::string& error, const Progress& progress = {}) {
    if (!Read(rows, error, progress)) return false;
    order.resize(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) order[i] = i;
    return true;
  }

  // Hands every row to `each` as it is read, in the order the store keeps
  // them, or in id order (byte-wise) when `by_id`; the row is valid for the
  // call only. From one consistent state of the store, as Read. This one
  // reads them all first; a store that can hand them over one at a time
  // keeps no list of them.
  virtual bool Scan(const std::function<void(const StoreRow&)>& each, bool by_id,
                    std::string& error, const Progress& progress = {}) {
    (void)by_id;  // Read gives them in id order already.
    std::vector<StoreRow> rows;
    if (!Read(rows, error, progress)) return false;
    for (const StoreRow& row : rows) each(row);
    return true;
  }

  // About how many rows there are (a writer may change it the next moment),
  // or 0 when that is not known cheaply.
  virtual std::size_t Count() { return 0; }

  // Replaces every row with `rows` in one transaction: all of them or, on
  // failure, none. Fails, with a reason, when the store cannot hold a value
  // or cannot be had alone.
  virtual bool Replace(const std::vector<StoreRow>& rows, std::string& error,
                       const Progress& progress = {}) = 0;

  // The permission bits that files made from the store's content get.
  virtual mode_t file_mode() const = 0;

 protected:
  std::string progress_label_ = "check";
};

}  // namespace pga

#endif  // PGA_TOOLS_STORE_ACCESS_H_
