// The export format of a stored tree: one JSON document,
//
//   {"formatVersion":1,"items":[
//   {"itemId":"g1","parentId":"","name":"Lobby","type":"Group","order":1,"createdTime":17},
//   ...
//   ]}
//
// one item per line, in the order given (the store tools give id order),
// every column of every row. A column value is written by its storage class
// in the store, so that importing the document writes back exactly what
// was read:
// - NULL as null;
// - a text as a JSON string when it is well-formed UTF-8 (NUL bytes
//   included, as \u0000), else as {"hex":"<its bytes in hex>"};
// - an integer as a JSON integer; "createdTime" unsigned (0 to 2^64-1, as
//   the records read it; the table keeps the same 64 bits signed), every
//   other member signed;
// - a real number as {"real":"<%.17g>"} ("inf" and "-inf" included);
// - a blob as {"blob":"<its bytes in hex>"}.
// The same rows always give the same bytes.
#ifndef PGA_TOOLS_TREE_DOCUMENT_H_
#define PGA_TOOLS_TREE_DOCUMENT_H_

#include <functional>
#include <string>
#include <vector>

#include "tools/store_row.h"
#include "runtime/json.h"

namespace pga {

// The version this build writes and the newest it reads.
inline constexpr int kTreeFormatVersion = 1;

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

// Writes `value` as the document writes a column value; an integer as
// unsigned 64-bit when `as_unsigned` is set.
void WriteStoreValue(JsonWriter& writer, const StoreValue& value, bool as_unsigned = false);

// The document for `rows`, ending in a line end. `progress` (when set) is
// called now and then with the number of rows written.
std::string WriteTreeDocument(const std::vector<StoreRow>& rows,
                              const std::function<void(std::size_t)>& progress = {});

// The same document written a row at a time into `text`, which the caller
// may take away (and write out) between rows: Begin, Add for each row,
// End. The bytes are those of WriteTreeDocument.
class TreeDocumentWriter {
 public:
  explicit TreeDocumentWriter(std::string& text) : text_(text) {}
  void Begin();
  void Add(const StoreRow& row);
  void End();

 private:
  std::string& text_;
  rapidjson::StringBuffer buffer_;
  JsonWriter writer_{buffer_};
  bool first_ = true;
};

// Reads a document into `rows`. Refuses, with a one-line reason in `error`,
// text that is not JSON, a document of a newer format version, a missing,
// repeated or unknown member (at the top or in an item), a value of another
// JSON type than the ones above (a fraction, a negative "createdTime", a
// string that is not well-formed UTF-8, bad hex digits). The tree itself is
// not checked here.
bool ReadTreeDocument(const std::string& text, std::vector<StoreRow>& rows, std::string& error);

// Where a document's bytes come from: fills `buffer` with up to `size`
// bytes and returns how many, 0 at the end (a source that fails ends, and
// keeps its own reason).
using DocumentSource = std::function<std::size_t(char* buffer, std::size_t size)>;

// The same, reading the document a block at a time from `source` to its
// end, without holding it whole: only the rows are kept (in `rows`, whose
// room is kept, so that a caller may reserve it).
bool ReadTreeDocument(const DocumentSource& source, std::vector<StoreRow>& rows,
                      std::string& error);

}  // namespace pga

#endif  // PGA_TOOLS_TREE_DOCUMENT_H_
