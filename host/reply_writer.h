// ReplyWriter: turns what the host saw into the protocol lines of its
// standard output, one compact JSON object per line.
#ifndef PGA_HOST_REPLY_WRITER_H_
#define PGA_HOST_REPLY_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "host/delivery_outcome.h"
#include "runtime/event.h"

namespace pga {

class ReplyWriter {
 public:
  // Receives each finished line, without its line end.
  using Sink = std::function<void(const std::string& line)>;
  // Receives each line in parts, in order, without its line end; `last` is
  // true on the line's last part (which may be empty). A part holds at most
  // kPartBytes, so that a whole tree's list (tens of megabytes) is passed on
  // as it is written instead of lying whole in memory beside its records.
  using PartSink = std::function<void(std::string_view part, bool last)>;
  static constexpr std::size_t kPartBytes = 64 * 1024;

  // Gathers each line's parts and hands the line over whole.
  explicit ReplyWriter(Sink sink);
  explicit ReplyWriter(PartSink sink) : sink_(std::move(sink)) {}

  // {"notification": <the EventParam's text form>} for a notification that
  // reached the listener. An event that carries no EventParam is written as
  // {"notification": null, "eventType": N}.
  void WriteNotification(const Event& event);

  // {"reply": <request name, or the event type when `request` is empty>,
  //  "eventType": N, "handled": B, ...} followed by the answer found in the
  // event: "succeeded" and "payload" for a request record, "result" for a
  // result record, "logicalList" for a logical list, "channels" for a
  // vector of texts; nothing for other payloads. "error" {"type", "message"}
  // is added when processing threw.
  void WriteReply(const std::string& request, std::uint32_t event_type,
                  const DeliveryOutcome& outcome);

  // {"error": {"line": N, "message": "..."}} for a script line that could
  // not be run.
  void WriteLineError(std::size_t line_number, const std::string& message);

  // Writes `line` as it is (for the tree outline).
  void WriteText(const std::string& line) { sink_(line, true); }

 private:
  PartSink sink_;
};

}  // namespace pga

#endif  // PGA_HOST_REPLY_WRITER_H_
