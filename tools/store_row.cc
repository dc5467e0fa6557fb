#include "tools/store_row.h"

#include <sqlite3.h>

#include <cstring>
#include <utility>

namespace pga {

StoreValue StoreValue::Integer(int64_t value) {
  StoreValue v;
  v.kind = Kind::kInteger;
  v.integer = value;
  return v;
}

StoreValue StoreValue::Real(double value) {
  StoreValue v;
  v.kind = Kind::kReal;
  v.real = value;
  return v;
}

StoreValue StoreValue::Text(std::string bytes) {
  StoreValue v;
  v.kind = Kind::kText;
  v.bytes = std::move(bytes);
  return v;
}

StoreValue StoreValue::Blob(std::string bytes) {
  StoreValue v;
  v.kind = Kind::kBlob;
  v.bytes = std::move(bytes);
  return v;
}

StoreValue StoreValue::FromColumn(sqlite3_stmt* statement, int index) {
  StoreValue value;
  value.ReadColumn(statement, index);
  return value;
}

void StoreValue::ReadColumn(sqlite3_stmt* statement, int index) {
  bytes.clear();
  integer = 0;
  // The column's value read once, then taken apart: each column call of
  // its own would look the column up again.
  sqlite3_value* value = sqlite3_column_value(statement, index);
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      kind = Kind::kInteger;
      integer = sqlite3_value_int64(value);
      return;
    case SQLITE_FLOAT:
      kind = Kind::kReal;
      real = sqlite3_value_double(value);
      return;
    case SQLITE_TEXT: {
      kind = Kind::kText;
      // The pointer first, then the length: the order SQLite documents.
      const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
      if (text != nullptr) bytes.assign(text, sqlite3_value_bytes(value));
      return;
    }
    case SQLITE_BLOB: {
      kind = Kind::kBlob;
      const auto* blob = static_cast<const char*>(sqlite3_value_blob(value));
      if (blob != nullptr) bytes.assign(blob, sqlite3_value_bytes(value));
      return;
    }
    default:
      kind = Kind::kNull;
  }
}

int StoreValue::Bind(sqlite3_stmt* statement, int index) const {
  switch (kind) {
    case Kind::kInteger:
      return sqlite3_bind_int64(statement, index, integer);
    case Kind::kReal:
      return sqlite3_bind_double(statement, index, real);
    case Kind::kText:
      return sqlite3_bind_text64(statement, index, bytes.data(), bytes.size(), SQLITE_STATIC,
                                 SQLITE_UTF8);
    case Kind::kBlob:
      return sqlite3_bind_blob64(statement, index, bytes.data(), bytes.size(), SQLITE_STATIC);
    case Kind::kNull:
      break;
  }
  return sqlite3_bind_null(statement, index);
}

const std::string& StoreValue::TextOrEmpty() const {
  static const std::string kEmpty;
  return kind == Kind::kText ? bytes : kEmpty;
}

bool StoreValue::operator==(const StoreValue& other) const {
  if (kind != other.kind) return false;
  switch (kind) {
    case Kind::kInteger:
      return integer == other.integer;
    case Kind::kReal:
      // Bit for bit: the tools promise the same stored value, not an equal one.
      return std::memcmp(&real, &other.real, sizeof(real)) == 0;
    case Kind::kText:
    case Kind::kBlob:
      return bytes == other.bytes;
    case Kind::kNull:
      break;
  }
  return true;
}

GroupOrderModel StoreRow::ToItem() const {
  const auto number = [](const StoreValue& value) {
    return value.kind == StoreValue::Kind::kInteger ? value.integer : 0;
  };
  return GroupOrderModel(item_id.TextOrEmpty(), parent_id.TextOrEmpty(), name.TextOrEmpty(),
                         type.TextOrEmpty(), static_cast<int32_t>(number(order)),
                         static_cast<uint64_t>(number(created_time)));
}

bool StoreRow::operator==(const StoreRow& other) const {
  return item_id == other.item_id && parent_id == other.parent_id && name == other.name &&
         type == other.type && order == other.order && created_time == other.created_time;
}

}  // namespace pga
