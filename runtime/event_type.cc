#include "runtime/event_type.h"

#include <map>
#include <mutex>

namespace pga {

namespace {

struct NameTable {
  std::mutex mutex;
  std::map<std::string, std::string> names;  // GUARDED_BY(mutex)
};

NameTable& Table() {
  static NameTable table;
  return table;
}

}  // namespace

void RegisterEventTypeName(int code, const char* name) {
  NameTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.names[std::to_string(code)] = name != nullptr ? name : "";
}

std::string GetEventTypeName(int code) {
  NameTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto found = table.names.find(std::to_string(code));
  return found != table.names.end() ? found->second : std::string();
}

}  // namespace pga
