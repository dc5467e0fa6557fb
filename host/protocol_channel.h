// ProtocolChannel: keeps the host's standard output for protocol lines only.
//
// The plug-in prints its diagnostics with printf, that is to file
// descriptor 1. Open() keeps a private stream on the real standard output
// and then points descriptor 1 at standard error, so that everything printed
// with printf from then on (by the plug-in and by the host's own runtime)
// lands on standard error, line-buffered so that it keeps its order with
// what is written to standard error directly, while the protocol stays
// clean.
#ifndef PGA_HOST_PROTOCOL_CHANNEL_H_
#define PGA_HOST_PROTOCOL_CHANNEL_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace pga {

class ProtocolChannel {
 public:
  ProtocolChannel() = default;
  ProtocolChannel(const ProtocolChannel&) = delete;
  ProtocolChannel& operator=(const ProtocolChannel&) = delete;
  // Flushes and closes the private stream.
  ~ProtocolChannel();

  // Must run before the plug-in is loaded. Returns false with a reason in
  // `error` when the descriptors cannot be duplicated.
  bool Open(std::string& error);

  // Writes one protocol line given in parts, in order: before its first
  // part, the diagnostics printed so far are flushed; after its last part
  // (`last`), a line end is written and the protocol stream is flushed, so
  // that every line is out before the next event is delivered (a host
  // killed later loses nothing it has printed).
  void WritePart(std::string_view part, bool last);

 private:
  std::FILE* protocol_ = nullptr;  // owned; closed by the destructor
  // A line was begun and its last part is still to come.
  bool in_line_ = false;
};

}  // namespace pga

#endif  // PGA_HOST_PROTOCOL_CHANNEL_H_
