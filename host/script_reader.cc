#include "host/script_reader.h"

#include <stdio.h>

namespace pga {

bool ScriptReader::Next(std::string& line) {
  line.clear();
  too_long_ = false;
  int c = getc_unlocked(input_);
  if (c == EOF) return false;
  ++line_number_;
  for (; c != EOF && c != '\n'; c = getc_unlocked(input_)) {
    if (too_long_) continue;
    if (line.size() == max_line_bytes_) {
      too_long_ = true;
      line.clear();
      line.shrink_to_fit();
      continue;
    }
    line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

}  // namespace pga
