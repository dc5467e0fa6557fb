#include "host/tree_document.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "host/text_bytes.h"

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
    const std::string name = pga_json::GetString(member.name);
    std::size_t m = 0;
    while (m < std::size(kMembers) && name != kMembers[m]) ++m;
    if (m == std::size(kMembers) || seen[m]) {
      error = (m == std::size(kMembers) ? "unknown member " : "repeated member ") + QuoteText(name);
      return false;
    }
    seen[m] = true;
    if (!ReadValue(member.value, m == kUnsignedMember, row.*kColumns[m], error)) {
      error = "\"" + name + "\": " + error;
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

std::string WriteTreeDocument(const std::vector<StoreRow>& rows,
                              const std::function<void(std::size_t)>& progress) {
  std::string text = "{\"formatVersion\":" + std::to_string(kTreeFormatVersion) + ",\"items\":[";
  rapidjson::StringBuffer buffer;
  JsonWriter writer(buffer);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    buffer.Clear();
    writer.Reset(buffer);
    writer.StartObject();
    const StoreRow& row = rows[i];
    for (std::size_t m = 0; m < std::size(kMembers); ++m) {
      writer.Key(kMembers[m]);
      WriteStoreValue(writer, row.*kColumns[m], m == kUnsignedMember);
    }
    writer.EndObject();
    text += i == 0 ? "\n" : ",\n";
    text.append(buffer.GetString(), buffer.GetSize());
    if (progress && (i + 1) % kProgressStep == 0) progress(i + 1);
  }
  text += rows.empty() ? "]}\n" : "\n]}\n";
  return text;
}

bool ReadTreeDocument(const std::string& text, std::vector<StoreRow>& rows, std::string& error) {
  rapidjson::Document doc;
  pga_json::ParseFailure failure;
  if (!pga_json::Parse(doc, text, &failure)) {
    error = "not JSON: " + failure.message + " (at byte " + std::to_string(failure.offset) + ")";
    return false;
  }
  const rapidjson::Value* version = pga_json::FindMember(doc, "formatVersion");
  const rapidjson::Value* items = pga_json::FindMember(doc, "items");
  if (version == nullptr || !version->IsInt() || version->GetInt() < 1 || items == nullptr ||
      !items->IsArray()) {
    error = "not a tree export: it needs \"formatVersion\" (1 or more) and \"items\" (an array)";
    return false;
  }
  if (version->GetInt() > kTreeFormatVersion) {
    error = "an export of format version " + std::to_string(version->GetInt()) +
            ", newer than this build reads (" + std::to_string(kTreeFormatVersion) + ")";
    return false;
  }
  if (doc.MemberCount() != 2) {
    error = "not a tree export: members other than \"formatVersion\" and \"items\"";
    return false;
  }
  rows.clear();
  rows.reserve(items->Size());
  for (rapidjson::SizeType i = 0; i < items->Size(); ++i) {
    rows.emplace_back();
    if (!ReadItem((*items)[i], rows.back(), error)) {
      error = "not a tree export: item " + std::to_string(i + 1) + ": " + error;
      return false;
    }
  }
  return true;
}

}  // namespace pga
