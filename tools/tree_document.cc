#include "tools/tree_document.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>

#include "store/text_bytes.h"

namespace pga {

namespace {

using Kind = StoreValue::Kind;

// The members of an item, in the order they are written; only the last
// one holds an unsigned integer.
constexpr const char* kMembers[] = {"itemId", "parentId", "name", "type", "order", "createdTime"};
constexpr std::size_t kUnsignedMember = 5;
constexpr std::size_t kProgressStep = 4096;

// The column of each member, in the same order.
constexpr StoreValue StoreRow::*kColumns[] = {&StoreRow::item_id, &StoreRow::parent_id,
                                              &StoreRow::name,    &StoreRow::type,
                                              &StoreRow::order,   &StoreRow::created_time};

void WriteTagged(JsonWriter& writer, const char* tag, const std::string& text) {
  writer.StartObject();
  writer.Key(tag);
  writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
  writer.EndObject();
}

// A member value that is an object: {"hex"|"blob"|"real": "<text>"}.
bool ReadTagged(const rapidjson::Value& object, StoreValue& value, std::string& error) {
  if (object.MemberCount() != 1 || !object.MemberBegin()->value.IsString()) {
    error = "an object value must be {\"hex\"|\"blob\"|\"real\": \"...\"}";
    return false;
  }
  const std::string tag = pga_json::GetString(object.MemberBegin()->name);
  const std::string text = pga_json::GetString(object.MemberBegin()->value);
  if (tag == "real") {
    errno = 0;
    char* end = nullptr;
    const double real = std::strtod(text.c_str(), &end);
    // What "%.17g" writes: no hexadecimal forms, no NaN (SQLite stores none).
    const bool whole = !text.empty() && end == text.c_str() + text.size();
    if (!whole || text.find_first_of("xX") != std::string::npos || std::isnan(real) ||
        (errno == ERANGE && real == 0)) {
      error = "\"real\" holds no decimal number: " + QuoteText(text);
      return false;
    }
    value = StoreValue::Real(real);
    return true;
  }
  std::string bytes;
  if ((tag != "hex" && tag != "blob") || !FromHex(text, bytes)) {
    error = "bad tagged value {" + QuoteText(tag) + ": " + QuoteText(text) + "}";
    return false;
  }
  value = tag == "hex" ? StoreValue::Text(std::move(bytes)) : StoreValue::Blob(std::move(bytes));
  return true;
}

bool ReadValue(const rapidjson::Value& json, bool as_unsigned, StoreValue& value,
               std::string& error) {
  if (json.IsNull()) {
    value = StoreValue::Null();
  } else if (json.IsString()) {
    std::string text = pga_json::GetString(json);
    if (!IsUtf8(text)) {
      error = "a string that is not UTF-8 (such texts are written as {\"hex\": ...})";
      return false;
    }
    value = StoreValue::Text(std::move(text));
  } else if (as_unsigned ? json.IsUint64() : json.IsInt64()) {
    value =
        StoreValue::Integer(as_unsigned ? static_cast<int64_t>(json.GetUint64()) : json.GetInt64());
  } else if (json.IsObject()) {
    return ReadTagged(json, value, error);
  } else {
    error = as_unsigned ? "not null, a string, an integer from 0 to 2^64-1 or a tagged object"
                        : "not null, a string, a 64-bit integer or a tagged object";
    return false;
  }
  return true;
}

bool ReadItem(const rapidjson::Value& item, StoreRow& row, std::string& error) {
  if (!item.IsObject()) {
    error = "not an object";
    return false;
  }
  bool seen[std::size(kMembers)] = {};
  for (const auto& member : item.GetObject()) {
    const std::string_view name(member.name.GetString(), member.name.GetStringLength());
    std::size_t m = 0;
    while (m < std::size(kMembers) && name != kMembers[m]) ++m;
    if (m == std::size(kMembers) || seen[m]) {
      error = (m == std::size(kMembers) ? "unknown member " : "repeated member ") +
              QuoteText(std::string(name));
      return false;
    }
    seen[m] = true;
    if (!ReadValue(member.value, m == kUnsignedMember, row.*kColumns[m], error)) {
      error = "\"" + std::string(name) + "\": " + error;
      return false;
    }
  }
  for (std::size_t m = 0; m < std::size(kMembers); ++m) {
    if (!seen[m]) {
      error = std::string("no member \"") + kMembers[m] + "\"";
      return false;
    }
  }
  return true;
}

}  // namespace

void WriteStoreValue(JsonWriter& writer, const StoreValue& value, bool as_unsigned) {
  char real[64];
  switch (value.kind) {
    case Kind::kNull:
      writer.Null();
      return;
    case Kind::kInteger:
      if (as_unsigned) {
        writer.Uint64(static_cast<uint64_t>(value.integer));
      } else {
        writer.Int64(value.integer);
      }
      return;
    case Kind::kReal:
      std::snprintf(real, sizeof(real), "%.17g", value.real);
      WriteTagged(writer, "real", real);
      return;
    case Kind::kText:
      if (IsUtf8(value.bytes)) {
        writer.String(value.bytes.data(), static_cast<rapidjson::SizeType>(value.bytes.size()));
      } else {
        WriteTagged(writer, "hex", ToHex(value.bytes));
      }
      return;
    case Kind::kBlob:
      WriteTagged(writer, "blob", ToHex(value.bytes));
      return;
  }
}

void TreeDocumentWriter::Begin() {
  text_ += "{\"formatVersion\":" + std::to_string(kTreeFormatVersion) + ",\"items\":[";
  first_ = true;
}

namespace {

// The members as a plain row writes them, each with what comes before it.
constexpr std::string_view kPlainKeys[] = {"{\"itemId\":", ",\"parentId\":", ",\"name\":",
                                           ",\"type\":",   ",\"order\":",    ",\"createdTime\":"};

// A row of plain values (no byte that JSON escapes or that UTF-8 must vouch
// for, no tagged kind) as WriteStoreValue writes them, made in `buffer`;
// its length, or 0 when the row is not plain or does not fit.
// The bytes that a JSON text holds as they are: printable ASCII but the
// quote and the backslash. One look-up a byte; comparing each byte four
// times took a third of the export's writing.
constexpr std::array<bool, 256> kPlainByte = [] {
  std::array<bool, 256> plain{};
  for (int byte = 0x20; byte < 0x80; ++byte) plain[byte] = byte != '"' && byte != '\\';
  return plain;
}();

std::size_t PlainRow(const StoreRow& row, char* buffer, std::size_t size) {
  char* at = buffer;
  char* const end = buffer + size;
  const auto put = [&at, end](const char* bytes, std::size_t count) {
    if (count > static_cast<std::size_t>(end - at)) return false;
    std::memcpy(at, bytes, count);
    at += count;
    return true;
  };
  for (std::size_t m = 0; m < std::size(kMembers); ++m) {
    if (!put(kPlainKeys[m].data(), kPlainKeys[m].size())) return 0;
    const StoreValue& value = row.*kColumns[m];
    char number[24];
    switch (value.kind) {
      case Kind::kNull:
        if (!put("null", 4)) return 0;
        break;
      case Kind::kInteger: {
        const auto written = m == kUnsignedMember
                                 ? std::to_chars(number, number + sizeof number,
                                                 static_cast<uint64_t>(value.integer))
                                 : std::to_chars(number, number + sizeof number, value.integer);
        if (!put(number, static_cast<std::size_t>(written.ptr - number))) return 0;
        break;
      }
      case Kind::kText:
        for (const char c : value.bytes) {
          if (!kPlainByte[static_cast<unsigned char>(c)]) return 0;
        }
        if (!put("\"", 1) || !put(value.bytes.data(), value.bytes.size()) || !put("\"", 1)) {
          return 0;
        }
        break;
      default:
        return 0;
    }
  }
  return put("}", 1) ? static_cast<std::size_t>(at - buffer) : 0;
}

}  // namespace

void TreeDocumentWriter::Add(const StoreRow& row) {
  text_ += first_ ? "\n" : ",\n";
  first_ = false;
  // Most rows hold only plain texts and integers: they are written here
  // directly, every other row through the JSON writer, byte for byte the
  // same way.
  char plain[1024];
  const std::size_t length = PlainRow(row, plain, sizeof plain);
  if (length > 0) {
    text_.append(plain, length);
    return;
  }
  buffer_.Clear();
  writer_.Reset(buffer_);
  writer_.StartObject();
  for (std::size_t m = 0; m < std::size(kMembers); ++m) {
    writer_.Key(kMembers[m]);
    WriteStoreValue(writer_, row.*kColumns[m], m == kUnsignedMember);
  }
  writer_.EndObject();
  text_.append(buffer_.GetString(), buffer_.GetSize());
}

void TreeDocumentWriter::End() { text_ += first_ ? "]}\n" : "\n]}\n"; }

std::string WriteTreeDocument(const std::vector<StoreRow>& rows,
                              const std::function<void(std::size_t)>& progress) {
  std::string text;
  TreeDocumentWriter writer(text);
  writer.Begin();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    writer.Add(rows[i]);
    if (progress && (i + 1) % kProgressStep == 0) progress(i + 1);
  }
  writer.End();
  return text;
}

namespace {

// Bytes of a document pulled from its source a block at a time, as
// rapidjson's reader takes them: a NUL at the end. The reader stops at a
// NUL byte inside the text too, which the caller tells apart by the count.
class SourceStream {
 public:
  using Ch = char;

  explicit SourceStream(const DocumentSource& source) : source_(source) {}

  Ch Peek() {
    if (pos_ == size_) Fill();
    return pos_ < size_ ? buffer_[pos_] : '\0';
  }
  Ch Take() {
    const Ch c = Peek();
    if (pos_ < size_) ++pos_;
    return c;
  }
  std::size_t Tell() const { return before_ + pos_; }
  // Reads the rest of the source; the number of bytes it held in all.
  std::size_t Drain() {
    while (!ended_) {
      pos_ = size_;
      Fill();
    }
    return before_ + size_;
  }

  // Unused parts of rapidjson's stream concept (the reader never writes).
  Ch* PutBegin() { return nullptr; }
  void Put(Ch) {}
  void Flush() {}
  std::size_t PutEnd(Ch*) { return 0; }

 private:
  void Fill() {
    if (ended_) return;
    before_ += size_;
    pos_ = 0;
    size_ = source_(buffer_, sizeof buffer_);
    if (size_ == 0) ended_ = true;
  }

  const DocumentSource& source_;
  char buffer_[1 << 16];
  std::size_t size_ = 0;
  std::size_t pos_ = 0;
  std::size_t before_ = 0;  // bytes of the blocks before this one
  bool ended_ = false;
};

// Reads a document's parse events as pga_json::Parse reads a whole text
// (numbers converted the same way, nesting bounded the same way), but keeps
// only what a tree export holds: the top level's members, and one item at
// a time, which is made a row at its end. A document of a million items
// never exists in memory as a whole.
class DocumentReader {
 public:
  using Ch = char;
  using SizeType = rapidjson::SizeType;

  explicit DocumentReader(std::vector<StoreRow>& rows) : rows_(rows) {}

  bool Null() { return Scalar(rapidjson::Value()); }
  bool Bool(bool b) { return Scalar(rapidjson::Value(b)); }
  bool Int(int i) { return Scalar(rapidjson::Value(i)); }
  bool Uint(unsigned i) { return Scalar(rapidjson::Value(i)); }
  bool Int64(int64_t i) { return Scalar(rapidjson::Value(i)); }
  bool Uint64(uint64_t i) { return Scalar(rapidjson::Value(i)); }
  bool Double(double d) { return Scalar(rapidjson::Value(d)); }
  bool String(const Ch* str, SizeType length, bool /*copy*/) {
    if (!Building()) return Scalar(rapidjson::Value());
    return Scalar(rapidjson::Value(str, length, allocator_));
  }
  bool Key(const Ch* str, SizeType length, bool /*copy*/) {
    if (depth_ == 1) {
      ++top_members_;
      key_.assign(str, length);
      return true;
    }
    if (Building()) stack_.emplace_back(str, length, allocator_);
    return true;
  }
  bool StartObject() { return Open(false); }
  bool EndObject(SizeType members) { return Close(true, members); }
  bool StartArray() { return Open(true); }
  bool EndArray(SizeType elements) { return Close(false, elements); }

  // `text` is a valid JSON number: the reader checked it.
  bool RawNumber(const Ch* text, SizeType length, bool /*copy*/) {
    return pga_json::HandleRawNumber(*this, text, length, too_big_);
  }

  bool too_big() const { return too_big_; }
  bool exceeded() const { return exceeded_; }
  std::size_t top_members() const { return top_members_; }
  // The first "formatVersion": whether it is there, whether it is a 32-bit
  // integer, and which.
  bool has_version() const { return has_version_; }
  bool version_is_int() const { return version_is_int_; }
  int version() const { return version_; }
  // Whether the first "items" is there and an array.
  bool has_items() const { return has_items_; }
  bool items_are_array() const { return items_are_array_; }
  // The first item that is not one, with its number (from 1).
  const std::string& item_error() const { return item_error_; }
  std::size_t item_number() const { return item_number_; }

 private:
  // Whether the events now build an item of the first "items" array.
  bool Building() const { return in_items_ && depth_ >= 2 && !exceeded_ && item_error_.empty(); }

  // A value at the top level's member, an item or a part of an item.
  bool Scalar(rapidjson::Value value) {
    if (depth_ == 1) {
      Member(value.IsInt(), value.IsInt() ? value.GetInt() : 0, false);
    } else if (Building()) {
      stack_.push_back(std::move(value));
      if (depth_ == 2) EndItem();
    }
    return true;
  }

  // The value of the top-level member `key_` begins.
  void Member(bool is_int, int number, bool is_array) {
    if (key_ == "formatVersion" && !has_version_) {
      has_version_ = true;
      version_is_int_ = is_int;
      version_ = number;
    } else if (key_ == "items" && !has_items_) {
      has_items_ = true;
      items_are_array_ = is_array;
      in_items_ = is_array;
    }
  }

  bool Open(bool array) {
    if (depth_ == 1) Member(false, 0, array);
    ++depth_;
    if (depth_ > pga_json::kMaxDepth) exceeded_ = true;
    if (Building() && depth_ >= 3) stack_.emplace_back(rapidjson::kNullType);
    return true;
  }

  bool Close(bool object, SizeType count) {
    if (Building() && depth_ >= 3) {
      // The object's members (name, value) or the array's elements are the
      // last entries of the stack, after the entry that opened it.
      const std::size_t parts = object ? 2 * static_cast<std::size_t>(count) : count;
      const std::size_t first = stack_.size() - parts;
      rapidjson::Value& made = stack_[first - 1];
      if (object) {
        made.SetObject();
        for (std::size_t i = first; i < stack_.size(); i += 2) {
          made.AddMember(stack_[i], stack_[i + 1], allocator_);
        }
      } else {
        made.SetArray();
        made.Reserve(count, allocator_);
        for (std::size_t i = first; i < stack_.size(); ++i) made.PushBack(stack_[i], allocator_);
      }
      stack_.resize(first);
    }
    --depth_;
    if (depth_ == 2 && Building()) EndItem();
    if (depth_ == 1 && in_items_) in_items_ = false;
    return true;
  }

  // The item on the stack is complete: it becomes a row.
  void EndItem() {
    ++items_;
    rows_.emplace_back();
    std::string error;
    if (!ReadItem(stack_.back(), rows_.back(), error)) {
      rows_.pop_back();
      item_error_ = error;
      item_number_ = items_;
    }
    stack_.clear();
    allocator_.Clear();
  }

  std::vector<StoreRow>& rows_;
  char item_bytes_[4096];  // room for a usual item without asking malloc
  rapidjson::MemoryPoolAllocator<> allocator_{item_bytes_, sizeof item_bytes_};  // the item
  std::vector<rapidjson::Value> stack_;  // its values so far
  std::size_t depth_ = 0;
  bool exceeded_ = false;
  bool too_big_ = false;
  std::size_t top_members_ = 0;
  std::string key_;
  bool has_version_ = false;
  bool version_is_int_ = false;
  int version_ = 0;
  bool has_items_ = false;
  bool items_are_array_ = false;
  bool in_items_ = false;
  std::size_t items_ = 0;
  std::string item_error_;
  std::size_t item_number_ = 0;
};

}  // namespace

bool ReadTreeDocument(const DocumentSource& source, std::vector<StoreRow>& rows,
                      std::string& error) {
  rows.clear();
  SourceStream in(source);
  // What rapidjson's UTF-8 stream over a text skips at its start: the bytes
  // of a byte order mark.
  for (const unsigned char mark : {0xEFu, 0xBBu, 0xBFu}) {
    if (static_cast<unsigned char>(in.Peek()) == mark) in.Take();
  }
  DocumentReader reader(rows);
  rapidjson::Reader parser;
  rapidjson::ParseResult result =
      parser.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag>(in,
                                                                                           reader);
  // The reader takes a NUL byte for the end of the text: one after the
  // document (and whatever follows it) is not white space.
  const std::size_t stopped = in.Tell();
  const std::size_t length = in.Drain();
  if (!result.IsError() && stopped < length) {
    result.Set(rapidjson::kParseErrorDocumentRootNotSingular, stopped);
  }
  if (result.IsError() || reader.exceeded()) {
    std::string message;
    std::size_t offset = 0;
    if (reader.too_big()) {
      message = rapidjson::GetParseError_En(rapidjson::kParseErrorNumberTooBig);
      offset = result.Offset();
    } else if (result.IsError()) {
      message = rapidjson::GetParseError_En(result.Code());
      offset = result.Offset();
    } else {
      message = "Nesting deeper than " + std::to_string(pga_json::kMaxDepth) + " levels.";
    }
    error = "not JSON: " + message + " (at byte " + std::to_string(offset) + ")";
    rows.clear();
    return false;
  }
  if (!reader.has_version() || !reader.version_is_int() || reader.version() < 1 ||
      !reader.has_items() || !reader.items_are_array()) {
    error = "not a tree export: it needs \"formatVersion\" (1 or more) and \"items\" (an array)";
    rows.clear();
    return false;
  }
  if (reader.version() > kTreeFormatVersion) {
    error = "an export of format version " + std::to_string(reader.version()) +
            ", newer than this build reads (" + std::to_string(kTreeFormatVersion) + ")";
    rows.clear();
    return false;
  }
  if (reader.top_members() != 2) {
    error = "not a tree export: members other than \"formatVersion\" and \"items\"";
    rows.clear();
    return false;
  }
  if (!reader.item_error().empty()) {
    error = "not a tree export: item " + std::to_string(reader.item_number()) + ": " +
            reader.item_error();
    rows.clear();
    return false;
  }
  return true;
}

bool ReadTreeDocument(const std::string& text, std::vector<StoreRow>& rows, std::string& error) {
  std::size_t done = 0;
  const DocumentSource source = [&](char* buffer, std::size_t size) {
    const std::size_t n = std::min(size, text.size() - done);
    std::memcpy(buffer, text.data() + done, n);
    done += n;
    return n;
  };
  return ReadTreeDocument(source, rows, error);
}

}  // namespace pga
