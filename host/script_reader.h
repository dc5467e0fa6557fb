// ScriptReader: reads a script line by line from a stream, with a bound on
// the length of a line so that a file without line ends cannot exhaust the
// host's memory.
#ifndef PGA_HOST_SCRIPT_READER_H_
#define PGA_HOST_SCRIPT_READER_H_

#include <cstddef>
#include <cstdio>
#include <string>

namespace pga {

class ScriptReader {
 public:
  // Longest line kept, in bytes (without its line end).
  static constexpr std::size_t kMaxLineBytes = std::size_t{16} << 20;

  // Reads from `input` (not owned; the caller closes it), keeping at most
  // `max_line_bytes` of each line.
  explicit ScriptReader(std::FILE* input, std::size_t max_line_bytes = kMaxLineBytes)
      : input_(input), max_line_bytes_(max_line_bytes) {}

  // Reads the next line into `line`, without its "\n" (a "\r" before it is
  // dropped too). Returns false at the end of the input. A line longer than
  // the bound is read to its end but not kept: `line` is then empty and
  // too_long() is true.
  bool Next(std::string& line);

  // Number of the line last read, counting from 1.
  std::size_t line_number() const { return line_number_; }
  // Whether the line last read was longer than the bound.
  bool too_long() const { return too_long_; }

 private:
  std::FILE* input_;
  std::size_t max_line_bytes_;
  std::size_t line_number_ = 0;
  bool too_long_ = false;
};

}  // namespace pga

#endif  // PGA_HOST_SCRIPT_READER_H_
