// ScriptCommand: one line of a host script turned into the event that the
// host delivers for it.
//
// A line is one JSON object. {"request": NAME, ...} names a request or
// device event (the members each one reads are listed in script_command.cc);
// "tableKey" (default 0) goes into the request record and "bare": true sends
// the event without any payload object. {"event": N, "arguments": A} sends a
// plain event of any type with no payload. Blank lines and lines whose first
// non-blank character is '#' are skipped.
#ifndef PGA_HOST_SCRIPT_COMMAND_H_
#define PGA_HOST_SCRIPT_COMMAND_H_

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/base_object.h"

namespace pga {

struct ScriptCommand {
  // The request name, or empty for a plain event.
  std::string request;
  std::uint32_t event_type = 0;
  long long arguments = 0;
  // The event's payload object, allocated through the runtime allocator
  // (BaseObject's operator new); null for none. Whoever builds the event
  // takes it over.
  std::unique_ptr<BaseObject> payload;
};

// What one script line amounts to.
struct ParsedLine {
  enum class Kind {
    kSkip,     // blank line or comment
    kCommand,  // `command` is filled
    kError,    // `error` says why the line cannot be run
  };
  Kind kind = Kind::kSkip;
  ScriptCommand command;
  std::string error;
};

// Parses one script line (without its line end). Never throws and never
// crashes on bad input: malformed JSON, members of the wrong kind, unknown
// requests, deep nesting and lines whose payload cannot be allocated all give
// kError with a one-line reason. Needs the runtime allocator installed
// (InstallAllocator) for the payload objects.
ParsedLine ParseScriptCommand(const std::string& line);

// The event type of request `name`, or 0 when no request has that name.
std::uint32_t RequestEventType(const std::string& name);

}  // namespace pga

#endif  // PGA_HOST_SCRIPT_COMMAND_H_
