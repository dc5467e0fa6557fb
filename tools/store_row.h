// StoreRow: one row of "logical_table" exactly as SQLite holds it. SQLite
// keeps a storage class with every value (a hand-edited store can hold a
// NULL name, a real number as an order, a blob as an id), and the store
// tools must check, export and write back what is there, not what the
// component would make of it.
#ifndef PGA_TOOLS_STORE_ROW_H_
#define PGA_TOOLS_STORE_ROW_H_

#include <cstdint>
#include <string>

#include "records/group_model.h"

struct sqlite3_stmt;

namespace pga {

// One stored value: its storage class and its content.
struct StoreValue {
  enum class Kind { kNull, kInteger, kReal, kText, kBlob };

  static StoreValue Null() { return StoreValue(); }
  static StoreValue Integer(int64_t value);
  static StoreValue Real(double value);
  static StoreValue Text(std::string bytes);
  static StoreValue Blob(std::string bytes);

  // Column `index` of the current row of `statement`.
  static StoreValue FromColumn(sqlite3_stmt* statement, int index);
  // The same into this value, reusing the room its bytes had.
  void ReadColumn(sqlite3_stmt* statement, int index);
  // Binds the value, storage class and all, to parameter `index`; SQLite's
  // result code.
  int Bind(sqlite3_stmt* statement, int index) const;

  bool is_text() const { return kind == Kind::kText; }
  // The bytes of a text, or the empty text for anything else: what the
  // component reads from a column that should hold text.
  const std::string& TextOrEmpty() const;

  bool operator==(const StoreValue& other) const;
  bool operator!=(const StoreValue& other) const { return !(*this == other); }

  std::string bytes;  // a text's or a blob's content
  // An integer's or a real number's value; which one the kind says. They
  // share their bytes: a store of a million rows holds six million values.
  union {
    int64_t integer = 0;
    double real;
  };
  Kind kind = Kind::kNull;
};

// The six columns, in the table's order.
struct StoreRow {
  StoreValue item_id;       // uuid
  StoreValue parent_id;     // parent_uuid
  StoreValue name;          // name
  StoreValue type;          // type
  StoreValue order;         // order_
  StoreValue created_time;  // created_time

  // The row as the component reads it: NULL and other storage classes
  // become the empty text or 0, integers are cut to the record's widths.
  GroupOrderModel ToItem() const;

  bool operator==(const StoreRow& other) const;
};

}  // namespace pga

#endif  // PGA_TOOLS_STORE_ROW_H_
