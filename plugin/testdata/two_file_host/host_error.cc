// The host's own error type, in a file that knows nothing of the plug-in.
// Its inline members have the names the SDK's Exception would have at global
// scope; linked into one program with the SDK, the two must stay apart.
#include <string>
#include <utility>

struct Exception {
  explicit Exception(std::string text) : text_(std::move(text)) {}
  const char* GetMessage() const { return text_.c_str(); }
  int GetType() const { return static_cast<int>(text_.size()); }
  std::string text_;
};

std::string HostErrorText() {
  const Exception error("the host's own error");
  return std::string(error.GetMessage()) + " (" + std::to_string(error.GetType()) + ")";
}
