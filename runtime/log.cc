#include "runtime/log.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

#include "runtime/exception.h"
#include "runtime/json.h"
#include "runtime/object_json.h"

namespace pga {

using Platform_Std_Refine::String;

namespace {

// Nesting level of the printed logs; nothing in the runtime changes it, so
// the indentation stays empty.
int log_nesting_level = 0;
constexpr int kMaxIndent = 40;

// Guards LogPrintf; constant-initialised, so it exists from load time on.
std::mutex print_mutex;

std::string Indentation() {
  int width = 2 * log_nesting_level;
  if (width > kMaxIndent) width = kMaxIndent;
  if (width < 0) width = 0;
  return std::string(static_cast<std::size_t>(width), ' ');
}

const char* OrEmpty(const String& text, const char* marker) {
  return text.empty() ? marker : text.c_str();
}

void ReadSigned32(const rapidjson::Value& root, const char* key, int& field) {
  const rapidjson::Value* value = pga_json::FindMember(root, key);
  if (value != nullptr && value->IsInt()) field = value->GetInt();
}

void ReadSigned64(const rapidjson::Value& root, const char* key, long long& field) {
  const rapidjson::Value* value = pga_json::FindMember(root, key);
  if (value != nullptr && value->IsInt64()) field = value->GetInt64();
}

void ReadWorkingNumber(const rapidjson::Value& root, const char* key, std::uint64_t& working,
                       unsigned int& field) {
  const rapidjson::Value* value = pga_json::FindMember(root, key);
  if (value != nullptr && value->IsUint64()) working = value->GetUint64();
  field = static_cast<unsigned int>(working);
}

}  // namespace

Log::Log(String object, String function, String first, String second, unsigned long long type_code,
         const char* log_name)
    : BaseObject(type_code, log_name),
      object_str(std::move(object)),
      function_str(std::move(function)),
      message_1(std::move(first)),
      message_2(std::move(second)),
      time_value(CurrentSeconds()),
      log_type(1),
      log_detail_type(200),
      log_parameter(0),
      log_time(0),
      log_channel(0) {}

Log::Log(const Log& other) = default;

Log::~Log() = default;

BlobValue& Log::Serialize(BlobValue& out) const {
  rapidjson::Document doc;
  doc.SetObject();
  auto& a = doc.GetAllocator();
  auto text = [&a](const String& s) { return rapidjson::Value(s.str(), a); };
  pga_json::SetMember(doc, "BaseObject", object_json::NameObject(name, a), a);
  pga_json::SetMember(doc, "object_str", text(object_str), a);
  pga_json::SetMember(doc, "function_str", text(function_str), a);
  pga_json::SetMember(doc, "message_1", text(message_1), a);
  pga_json::SetMember(doc, "message_2", text(message_2), a);
  pga_json::SetMember(doc, "time_value", rapidjson::Value(static_cast<std::int64_t>(time_value)),
                      a);
  pga_json::SetMember(doc, "log_type", rapidjson::Value(static_cast<std::uint64_t>(log_type)), a);
  pga_json::SetMember(doc, "log_detail_type",
                      rapidjson::Value(static_cast<std::uint64_t>(log_detail_type)), a);
  pga_json::SetMember(doc, "log_parameter", rapidjson::Value(log_parameter), a);
  pga_json::SetMember(doc, "log_time", rapidjson::Value(static_cast<std::int64_t>(log_time)), a);
  pga_json::SetMember(doc, "log_string", text(log_string), a);
  pga_json::SetMember(doc, "log_channel", rapidjson::Value(log_channel), a);
  object_json::WriteCell(doc, name, out);
  return out;
}

void Log::Deserialize(const BlobValue& in) {
  rapidjson::Document doc;
  object_json::ParseDerivedCell(in, doc, *this);
  std::string text;
  object_json::ReadWorkingText(doc, "object_str", text, object_str);
  object_json::ReadWorkingText(doc, "function_str", text, function_str);
  object_json::ReadWorkingText(doc, "message_1", text, message_1);
  object_json::ReadWorkingText(doc, "message_2", text, message_2);
  ReadSigned64(doc, "time_value", time_value);
  std::uint64_t number = 0;
  ReadWorkingNumber(doc, "log_type", number, log_type);
  ReadWorkingNumber(doc, "log_detail_type", number, log_detail_type);
  ReadSigned32(doc, "log_parameter", log_parameter);
  ReadSigned64(doc, "log_time", log_time);
  object_json::ReadWorkingText(doc, "log_string", text, log_string);
  ReadSigned32(doc, "log_channel", log_channel);
  object_json::ReadName(doc, *this);
}

void Log::Print() const {
  String time;
  time.FormatTime(time_value);
  std::printf("[%s] %s%s::%s %s %s\n", time.c_str(), Indentation().c_str(),
              OrEmpty(object_str, "Empty,"), OrEmpty(function_str, "Empty, "),
              OrEmpty(message_1, "Empty, "), OrEmpty(message_2, "Empty, "));
}

void LogPrintf(const char* format, ...) {
  std::lock_guard<std::mutex> lock(print_mutex);
  String time;
  time.FormatTime(CurrentSeconds());
  std::printf("[%s] ", time.c_str());
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
}

}  // namespace pga
