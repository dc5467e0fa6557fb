// Log: the printed record of a lifecycle step, and LogPrintf, the runtime's
// locked, time-stamped print.
#ifndef PGA_RUNTIME_LOG_H_
#define PGA_RUNTIME_LOG_H_

#include "runtime/base_object.h"
#include "runtime/platform_string.h"

namespace pga {

class Log : public BaseObject {
 public:
  static constexpr unsigned long long kTypeCode = 1012000;

  // The four texts as given, time now, log_type 1, log_detail_type 200, the
  // other numbers 0 and log_string empty.
  Log(Platform_Std_Refine::String object_str, Platform_Std_Refine::String function_str,
      Platform_Std_Refine::String message_1, Platform_Std_Refine::String message_2,
      unsigned long long type_code = kTypeCode, const char* name = "Log");
  Log(const Log& other);
  ~Log() override;

  // Members in order: "BaseObject", "object_str", "function_str",
  // "message_1", "message_2", "time_value", "log_type", "log_detail_type",
  // "log_parameter", "log_time", "log_string", "log_channel".
  BlobValue& Serialize(BlobValue& out) const override;
  // Texts through one working text (see Exception); "log_type" and
  // "log_detail_type" through one working number starting at 0 (an absent
  // detail type repeats the type); the other numbers unchanged when absent.
  // The name is finally read from a top-level "name" member.
  void Deserialize(const BlobValue& in) override;

  // Prints "[<local time>] <indent><object>::<function> <message_1>
  // <message_2>\n" to standard output, unlocked; an empty object text shows
  // as "Empty,", an empty other text as "Empty, ".
  void Print() const;

  unsigned int GetLogType() const { return log_type; }
  unsigned int GetLogDetailType() const { return log_detail_type; }
  const Platform_Std_Refine::String& GetFunctionText() const { return function_str; }

 private:
  Platform_Std_Refine::String object_str;
  Platform_Std_Refine::String function_str;
  Platform_Std_Refine::String message_1;
  Platform_Std_Refine::String message_2;
  long long time_value;
  unsigned int log_type;
  unsigned int log_detail_type;
  int log_parameter;
  long long log_time;
  Platform_Std_Refine::String log_string;
  int log_channel;
};

// printf to standard output behind "[<local time>] ", under one library-wide
// mutex so that lines of different threads do not interleave.
void LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace pga

#endif  // PGA_RUNTIME_LOG_H_
