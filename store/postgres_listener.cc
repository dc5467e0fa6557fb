#include "store/postgres_listener.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "store/backoff.h"
#include "store/postgres_answer.h"

namespace pga {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr Clock::duration kTrimEvery = std::chrono::minutes(1);

// Rows older than the retention go; the largest number gone is noted, in
// the same statement, for readers that had not read them yet.
constexpr char kTrim[] =
    "WITH gone AS (DELETE FROM logical_change_log"
    " WHERE logged_at < now() - make_interval(secs => $1::double precision) RETURNING seq)"
    " UPDATE logical_change_trim SET upto = (SELECT max(seq) FROM gone)"
    " WHERE upto < (SELECT max(seq) FROM gone)";

void IgnoreNotice(void*, const char*) {}

}  // namespace

PostgresListener::PostgresListener(std::string conninfo, std::string channel,
                                   std::chrono::seconds retention,
                                   std::chrono::milliseconds silence)
    : conninfo_(std::move(conninfo)),
      channel_(std::move(channel)),
      retention_(retention),
      silence_(silence) {}

PostgresListener::~PostgresListener() {
  Stop();
  for (int fd : stop_pipe_) {
    if (fd >= 0) close(fd);
  }
}

void PostgresListener::Start(std::function<bool()> wake) {
  if (thread_.joinable()) return;
  if (stop_pipe_[0] < 0 && pipe2(stop_pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    stop_pipe_[0] = stop_pipe_[1] = -1;
  }
  wake_ = std::move(wake);
  stopping_ = false;
  thread_ = std::thread(&PostgresListener::Run, this);
}

void PostgresListener::Stop() {
  if (!thread_.joinable()) return;
  stopping_ = true;
  Interrupt();
  thread_.join();
  char drained[16];
  while (stop_pipe_[0] >= 0 && read(stop_pipe_[0], drained, sizeof drained) > 0) {
  }
}

void PostgresListener::Nudge() {
  nudged_ = true;
  Interrupt();
}

void PostgresListener::Interrupt() {
  if (stop_pipe_[1] >= 0) {
    const char byte = 0;
    [[maybe_unused]] ssize_t written = write(stop_pipe_[1], &byte, 1);
  }
}

void PostgresListener::Run() {
  Backoff reconnect(milliseconds(50), milliseconds(1000));
  Backoff retry(milliseconds(20), milliseconds(1000));
  bool behind = true;
  // Whether the server must answer before the next call to `wake`: not
  // right after connecting, which it answered.
  bool ask_first = false;
  Clock::time_point next_trim = Clock::now();
  while (!stopping_) {
    if (nudged_.exchange(false) && !behind) {
      behind = true;
      ask_first = true;
      retry.Succeeded();
    }
    if (connection_ == nullptr || PQstatus(connection_) != CONNECTION_OK) {
      Disconnect();
      if (!reconnect.Ready()) {
        Wait(reconnect.Remaining());
        continue;
      }
      if (!Connect()) {
        reconnect.Failed();
        continue;
      }
      reconnect.Succeeded();
      behind = true;
      ask_first = false;
    }
    if (behind && retry.Ready()) {
      // `wake` holds the component while it works: a server that stopped
      // answering is found out here first, and reconnected to, instead.
      if (ask_first && !Answers()) {
        Disconnect();
        continue;
      }
      if (Wake()) {
        behind = false;
        retry.Succeeded();
      } else {
        retry.Failed();
        ask_first = true;
      }
    }
    if (Clock::now() >= next_trim) {
      Trim();
      next_trim = Clock::now() + kTrimEvery;
      // Notifications that came while it ran were read with its answer.
      behind = TakeNotifications() || behind;
    }
    Clock::duration timeout = next_trim - Clock::now();
    if (behind) timeout = std::min(timeout, retry.Remaining());
    if (Wait(timeout)) {
      bool notified = false;
      if (!Consume(notified)) continue;
      behind = behind || notified;
    }
  }
  Disconnect();
}

bool PostgresListener::Wake() {
  try {
    return wake_();
  } catch (...) {
    // Nothing may end this thread but Stop(): the catch-up is tried again.
    return false;
  }
}

bool PostgresListener::Connect() {
  connection_ = PQconnectdb(conninfo_.c_str());
  if (PQstatus(connection_) == CONNECTION_OK) {
    PQsetNoticeProcessor(connection_, IgnoreNotice, nullptr);
    std::string ignored;
    const std::string listen = "SET statement_timeout = '30s'; LISTEN " + channel_;
    if (ExecSilenceBounded(connection_, listen.c_str(), silence_, ignored)) return true;
  }
  Disconnect();
  return false;
}

void PostgresListener::Disconnect() {
  if (connection_ != nullptr) PQfinish(connection_);
  connection_ = nullptr;
}

bool PostgresListener::Consume(bool& notified) {
  if (PQconsumeInput(connection_) == 0) {
    Disconnect();
    return false;
  }
  notified = TakeNotifications();
  return true;
}

bool PostgresListener::TakeNotifications() {
  bool any = false;
  while (PGnotify* notification = PQnotifies(connection_)) {
    any = true;
    PQfreemem(notification);
  }
  return any;
}

bool PostgresListener::Answers() {
  std::string ignored;
  if (!ExecSilenceBounded(connection_, "SELECT 1", silence_, ignored)) return false;
  // Notifications that came with the answer are read already.
  TakeNotifications();
  return true;
}

void PostgresListener::Trim() {
  const std::string seconds = std::to_string(retention_.count());
  const char* values[] = {seconds.c_str()};
  if (PQsendQueryParams(connection_, kTrim, 1, nullptr, values, nullptr, nullptr, 0) != 0) {
    std::string ignored;
    AwaitSuccess(connection_, silence_, ignored);
  }
}

bool PostgresListener::Wait(Clock::duration timeout) {
  pollfd fds[2] = {{stop_pipe_[0], POLLIN, 0}, {-1, POLLIN, 0}};
  if (connection_ != nullptr) fds[1].fd = PQsocket(connection_);
  const auto ms = std::chrono::ceil<milliseconds>(std::max(timeout, Clock::duration::zero()));
  const int ready = poll(fds, 2, static_cast<int>(std::min<long long>(ms.count(), 60000)));
  if (ready <= 0) return false;
  if ((fds[0].revents & POLLIN) != 0) {
    // Stop() or Nudge(): the caller looks at which.
    char drained[16];
    while (read(stop_pipe_[0], drained, sizeof drained) > 0) {
    }
    return false;
  }
  return fds[1].fd >= 0 && fds[1].revents != 0;
}

}  // namespace pga
