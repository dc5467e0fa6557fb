#include "runtime/json.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace pga {

namespace pga_json {

std::size_t Depth(const rapidjson::Value& value, std::size_t limit) {
  // Explicit stack of (value, depth) instead of recursion.
  std::vector<std::pair<const rapidjson::Value*, std::size_t>> pending;
  pending.emplace_back(&value, 0);
  std::size_t deepest = 0;
  while (!pending.empty()) {
    auto [v, depth] = pending.back();
    pending.pop_back();
    if (v->IsArray() || v->IsObject()) {
      ++depth;
      if (depth > deepest) deepest = depth;
      if (deepest > limit) return limit + 1;
      if (v->IsArray()) {
        for (const auto& element : v->GetArray()) pending.emplace_back(&element, depth);
      } else {
        for (const auto& member : v->GetObject()) pending.emplace_back(&member.value, depth);
      }
    }
  }
  return deepest;
}

namespace {

// Hands every parse event to the document, with two changes. The number
// texts that the reader passes on (it is asked to keep numbers as text) are
// turned into values here: integers exactly as rapidjson does, every other
// number with the C library's correctly rounded strtod. rapidjson 1.1.0's
// own precise conversion reaches undefined behaviour for a zero with an
// exponent ("0e39"), and its plain one moves the last digits of some
// numbers on every pass. And nesting is counted as it is read: from the
// first value deeper than the limit on, the text is still read to its end,
// so that a later syntax error is the one reported, but nothing more is
// built into the document, which is then refused.
class DocumentBuilder {
 public:
  using Ch = char;
  using SizeType = rapidjson::SizeType;

  DocumentBuilder(rapidjson::Document& doc, std::size_t max_depth)
      : doc_(doc), max_depth_(max_depth) {}

  bool Null() { return exceeded_ || doc_.Null(); }
  bool Bool(bool b) { return exceeded_ || doc_.Bool(b); }
  bool Int(int i) { return exceeded_ || doc_.Int(i); }
  bool Uint(unsigned i) { return exceeded_ || doc_.Uint(i); }
  bool Int64(int64_t i) { return exceeded_ || doc_.Int64(i); }
  bool Uint64(uint64_t i) { return exceeded_ || doc_.Uint64(i); }
  bool Double(double d) { return exceeded_ || doc_.Double(d); }
  bool String(const Ch* str, SizeType length, bool copy) {
    return exceeded_ || doc_.String(str, length, copy);
  }
  bool Key(const Ch* str, SizeType length, bool copy) {
    return exceeded_ || doc_.Key(str, length, copy);
  }
  bool StartObject() { return Open() || doc_.StartObject(); }
  bool EndObject(SizeType members) { return Close() || doc_.EndObject(members); }
  bool StartArray() { return Open() || doc_.StartArray(); }
  bool EndArray(SizeType elements) { return Close() || doc_.EndArray(elements); }

  // `text` is a valid JSON number: the reader checked it.
  bool RawNumber(const Ch* text, SizeType length, bool /*copy*/) {
    return pga_json::HandleRawNumber(*this, text, length, too_big_);
  }

  bool too_big() const { return too_big_; }
  // Whether anything was nested deeper than the limit.
  bool exceeded() const { return exceeded_; }

 private:
  // Enters an array or object; true when the document is no longer built.
  bool Open() {
    if (++depth_ > max_depth_) exceeded_ = true;
    return exceeded_;
  }
  // Leaves an array or object; true when the document is no longer built.
  bool Close() {
    --depth_;
    return exceeded_;
  }

  rapidjson::Document& doc_;
  const std::size_t max_depth_;
  std::size_t depth_ = 0;
  bool exceeded_ = false;
  bool too_big_ = false;
};

}  // namespace

bool Parse(rapidjson::Document& doc, const char* text, std::size_t length, ParseFailure* failure,
           std::size_t max_depth) {
  if (text == nullptr) length = 0;
  rapidjson::MemoryStream memory(text ? text : "", length);
  rapidjson::EncodedInputStream<rapidjson::UTF8<>, rapidjson::MemoryStream> in(memory);
  DocumentBuilder builder(doc, max_depth);
  rapidjson::ParseResult result;
  auto generate = [&](rapidjson::Document&) {
    rapidjson::Reader reader;
    result = reader.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag>(
        in, builder);
    // The reader takes a NUL byte for the end of the text: one after the
    // document (and whatever follows it) is not white space.
    if (!result.IsError() && in.Tell() < length) {
      result.Set(rapidjson::kParseErrorDocumentRootNotSingular, in.Tell());
    }
    return !result.IsError() && !builder.exceeded();
  };
  doc.Populate(generate);
  if (!result.IsError() && !builder.exceeded()) return true;
  if (failure != nullptr) {
    if (builder.too_big()) {
      failure->message = rapidjson::GetParseError_En(rapidjson::kParseErrorNumberTooBig);
      failure->offset = result.Offset();
    } else if (result.IsError()) {
      failure->message = rapidjson::GetParseError_En(result.Code());
      failure->offset = result.Offset();
    } else {
      failure->message = "Nesting deeper than " + std::to_string(max_depth) + " levels.";
      failure->offset = 0;
    }
  }
  doc.SetObject();
  return false;
}

bool WriteCompact(const rapidjson::Value& value, std::string& out, std::size_t max_depth) {
  if (Depth(value, max_depth) > max_depth) return false;
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  const bool ok = value.Accept(writer);
  out.assign(buffer.GetString(), buffer.GetSize());
  return ok;
}

const rapidjson::Value* FindMember(const rapidjson::Value& object, const char* key) {
  if (!object.IsObject()) return nullptr;
  const std::size_t length = std::strlen(key);
  for (const auto& member : object.GetObject()) {
    if (member.name.IsString() && member.name.GetStringLength() == length &&
        std::memcmp(member.name.GetString(), key, length) == 0) {
      return &member.value;
    }
  }
  return nullptr;
}

rapidjson::Value* FindMember(rapidjson::Value& object, const char* key) {
  return const_cast<rapidjson::Value*>(
      FindMember(static_cast<const rapidjson::Value&>(object), key));
}

void SetMember(rapidjson::Value& object, const char* key, rapidjson::Value value,
               rapidjson::Document::AllocatorType& allocator) {
  if (!object.IsObject()) return;
  if (rapidjson::Value* existing = FindMember(object, key)) {
    *existing = std::move(value);
    return;
  }
  AddMember(object, key, std::move(value), allocator);
}

void AddMember(rapidjson::Value& object, const char* key, rapidjson::Value value,
               rapidjson::Document::AllocatorType& allocator) {
  if (!object.IsObject()) return;
  rapidjson::Value name(key, allocator);
  object.AddMember(name, value, allocator);
}

}  // namespace pga_json

}  // namespace pga
