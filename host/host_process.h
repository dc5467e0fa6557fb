// Test support: a group_host process fed through a pipe, its protocol lines
// read back as they come.
#ifndef PGA_HOST_HOST_PROCESS_H_
#define PGA_HOST_HOST_PROCESS_H_

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pga {

// Starts `program` with `args` in `dir`, its standard error going to
// `dir`/`err_name`. Lines written with Send() reach its standard input at
// once; its standard output is read line by line. Closing the input ends a
// script run; the destructor does that and waits for the process.
class HostProcess {
 public:
  HostProcess(const std::string& program, const std::vector<std::string>& args,
              const std::string& dir, const std::string& err_name) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    // Made before the fork: the child of a process with threads may only
    // make calls that take no lock (no allocation) until it runs the program.
    const std::string err = dir + "/" + err_name;
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(err_fd, 2);
      if (chdir(dir.c_str()) != 0) _exit(127);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
  }
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;
  ~HostProcess() { Wait(); }

  bool started() const { return pid_ > 0; }

  void Send(const std::string& line) {
    const std::string text = line + "\n";
    if (input_ >= 0) [[maybe_unused]] ssize_t written = write(input_, text.data(), text.size());
  }

  // The next line of standard output, waiting up to `timeout`; nullopt when
  // none came (or the output ended).
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const std::size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        lines_.push_back(line);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || output_ < 0) return std::nullopt;
      pollfd fd{output_, POLLIN, 0};
      if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[65536];
      const ssize_t got = read(output_, chunk, sizeof chunk);
      if (got <= 0) {
        close(output_);
        output_ = -1;
        continue;
      }
      buffer_.append(chunk, static_cast<std::size_t>(got));
    }
  }

  // Reads lines until one satisfies `wanted`; that line, or nullopt when
  // none came within `timeout`.
  std::optional<std::string> AwaitLine(const std::function<bool(const std::string&)>& wanted,
                                       std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      std::optional<std::string> line = ReadLine(std::max(left, std::chrono::milliseconds(0)));
      if (!line) return std::nullopt;
      if (wanted(*line)) return line;
    }
  }

  // Kills the process at once; Wait() still reads what it printed before.
  void Kill() {
    if (pid_ > 0) kill(pid_, SIGKILL);
  }

  // Every line read so far, in order.
  const std::vector<std::string>& lines() const { return lines_; }

  // Ends the input, reads the rest of the output and waits for the process;
  // its exit status, or -1 when it did not exit normally.
  int Wait() {
    if (pid_ <= 0) return exit_status_;
    if (input_ >= 0) close(input_);
    input_ = -1;
    while (ReadLine(std::chrono::milliseconds(30000))) {
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
    exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return exit_status_;
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string buffer_;
  std::vector<std::string> lines_;
  int exit_status_ = -1;
};

}  // namespace pga

#endif  // PGA_HOST_HOST_PROCESS_H_
