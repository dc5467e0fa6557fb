#include "host/protocol_channel.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pga {

ProtocolChannel::~ProtocolChannel() {
  if (protocol_ != nullptr) std::fclose(protocol_);
}

bool ProtocolChannel::Open(std::string& error) {
  std::fflush(stdout);
  const int protocol_fd = dup(STDOUT_FILENO);
  if (protocol_fd < 0) {
    error = std::string("cannot duplicate standard output: ") + std::strerror(errno);
    return false;
  }
  protocol_ = fdopen(protocol_fd, "w");
  if (protocol_ == nullptr) {
    error = std::string("cannot open the protocol stream: ") + std::strerror(errno);
    close(protocol_fd);
    return false;
  }
  if (dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    error = std::string("cannot send diagnostics to standard error: ") + std::strerror(errno);
    return false;
  }
  // Standard error is unbuffered; standard output, now writing there too,
  // would hold whole blocks back when it is not a terminal. Line by line,
  // printf's lines and direct writes to standard error keep their order.
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  return true;
}

void ProtocolChannel::WritePart(std::string_view part, bool last) {
  if (!in_line_) std::fflush(stdout);
  in_line_ = !last;
  if (protocol_ == nullptr) return;
  std::fwrite(part.data(), 1, part.size(), protocol_);
  if (!last) return;
  std::fputc('\n', protocol_);
  std::fflush(protocol_);
}

}  // namespace pga
