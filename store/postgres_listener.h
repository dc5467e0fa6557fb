// The thread that listens for the PostgreSQL store's change notifications.
#ifndef PGA_STORE_POSTGRES_LISTENER_H_
#define PGA_STORE_POSTGRES_LISTENER_H_

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

struct pg_conn;

namespace pga {

// Listens on a connection of its own for the notifications of one channel,
// and calls `wake` on its thread after each batch of them: the caller then
// reads the log. It also calls `wake` once it listens, at the start and
// after every reconnection, since notifications sent while it was not
// listening are lost. A `wake` that answers false (it could not catch up)
// is called again, after 20 ms at first and up to 1 s apart, each time once
// the server has answered the listener's connection: a server that hangs
// is waited for there, not by `wake`. Nudge() asks for a call to `wake` as
// soon as the server answers, for work that waits for the store to be back
// while nothing else would wake the listener. A lost connection is made
// again with a backoff (50 ms doubling up to 1 s). Once a minute it trims
// the log rows older than the retention.
class PostgresListener {
 public:
  // `conninfo` in key=value form; runs nothing until Start(). No statement
  // of its own waits longer than `silence` without hearing from the server.
  PostgresListener(std::string conninfo, std::string channel, std::chrono::seconds retention,
                   std::chrono::milliseconds silence);
  PostgresListener(const PostgresListener&) = delete;
  PostgresListener& operator=(const PostgresListener&) = delete;
  // Stops the thread.
  ~PostgresListener();

  // Starts the thread with `wake`, unless it runs already.
  void Start(std::function<bool()> wake);
  // Ends the thread and returns once `wake` no longer runs. The caller must
  // not hold anything that `wake` waits for.
  void Stop();
  // Calls `wake` soon, as if it had answered false; from any thread.
  void Nudge();

 private:
  void Run();
  // Ends the thread's current wait.
  void Interrupt();
  // Calls `wake`; an exception counts as not caught up.
  bool Wake();
  // Connects and listens; false when either fails.
  bool Connect();
  void Disconnect();
  // Reads what arrived; false when the connection failed. Sets `notified`
  // when a notification came.
  bool Consume(bool& notified);
  // Frees the notifications that libpq has read so far; true when there
  // was one. libpq reads them with any answer, not only in Consume().
  bool TakeNotifications();
  // Whether the server answers a statement on the connection, within the
  // silence bound.
  bool Answers();
  // Deletes the log rows older than the retention, noting the largest
  // number deleted. A failure is ignored: the next round tries again.
  void Trim();
  // Waits up to `timeout` for input on the connection (when there is one),
  // for Nudge() or for Stop(); true when there is input on the connection.
  bool Wait(std::chrono::steady_clock::duration timeout);

  const std::string conninfo_;
  const std::string channel_;
  const std::chrono::seconds retention_;
  const std::chrono::milliseconds silence_;
  std::function<bool()> wake_;
  pg_conn* connection_ = nullptr;  // used by the thread only
  // Written to by Stop() and Nudge() to end the thread's wait.
  int stop_pipe_[2] = {-1, -1};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> nudged_{false};
  std::thread thread_;
};

}  // namespace pga

#endif  // PGA_STORE_POSTGRES_LISTENER_H_
