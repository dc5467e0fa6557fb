// Exception: the runtime's thrown error record. Thrown by value and caught by
// reference; it also serialises to JSON and prints one line.
#ifndef PGA_RUNTIME_EXCEPTION_H_
#define PGA_RUNTIME_EXCEPTION_H_

#include "runtime/base_object.h"
#include "runtime/platform_string.h"

namespace pga {

// Error identifiers the runtime puts into Exception::type.
constexpr int kErrorNotAllocated = 2004001;       // component not allocated
constexpr int kErrorEventNotSupported = 2004005;  // event type without handling
constexpr int kErrorMalformedFile = 2006001;      // attribute or protocol file
constexpr int kErrorJsonParse = 2006002;          // JSON parse failure
constexpr int kErrorAttributeMismatch = 2006003;  // item or type code mismatch
constexpr int kErrorAttributeNotRegistered = 2006008;
constexpr int kErrorAttributeUnbound = 2006009;
constexpr int kErrorAttributeMajorVersion = 2006011;
constexpr int kErrorProtocolEntry = 2006015;
constexpr int kErrorNoInstanceIndex = 2006016;

class Exception : public BaseObject {
 public:
  static constexpr unsigned long long kTypeCode = 1011000;

  // type -1, empty texts, severity 0, time now. Name "Platform Exception".
  Exception();
  // severity 0, time now.
  Exception(int type, Platform_Std_Refine::String object_str,
            Platform_Std_Refine::String function_str, Platform_Std_Refine::String message);
  // Copies every field, the time stamp included.
  Exception(const Exception& other);
  Exception& operator=(const Exception& other);
  ~Exception() override;

  // Members in order: "BaseObject", "type", "object_str", "function_str",
  // "message", "severity", "time_value".
  BlobValue& Serialize(BlobValue& out) const override;
  // Texts through one working text (an absent text repeats the previous
  // one); "type" when it fits 32 bits signed, else unchanged; "severity"
  // likewise but 0 when absent or unfitting; "time_value" when a 64-bit
  // signed integer, else unchanged. The name is finally read from a
  // top-level "name" member, so a record read from its own form has none.
  void Deserialize(const BlobValue& in) override;

  int GetType() const { return type; }
  // The message text; what handlers print as the exception's message.
  const char* GetMessage() const { return message.c_str(); }
  Platform_Std_Refine::String GetFunction() const { return function_str; }
  const Platform_Std_Refine::String& GetObjectText() const { return object_str; }
  unsigned int GetSeverity() const { return severity; }
  void SetSeverity(unsigned int value) { severity = value; }
  long long GetTimeValue() const { return time_value; }

  // Prints "Execption(%d) @ %s::%s => %s\n" to standard output, unlocked.
  void Print() const;

 private:
  int type;
  Platform_Std_Refine::String object_str;
  Platform_Std_Refine::String function_str;
  Platform_Std_Refine::String message;
  unsigned int severity;
  long long time_value;
};

// Seconds since 1970-01-01 00:00 UTC, truncated.
long long CurrentSeconds();

}  // namespace pga

#endif  // PGA_RUNTIME_EXCEPTION_H_
