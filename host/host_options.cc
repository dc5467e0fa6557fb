#include "host/host_options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

// Reads a whole decimal int; false for anything else (sign allowed).
bool ReadInt(const std::string& text, int& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size()) return false;
  if (number < INT_MIN || number > INT_MAX) return false;
  value = static_cast<int>(number);
  return true;
}

// The option that takes the next argument as its value, or null.
std::string* ValueSlot(const std::string& name, HostOptions& options) {
  if (name == "--plugin") return &options.plugin;
  if (name == "--data-dir") return &options.data_dir;
  if (name == "--config-dir") return &options.config_dir;
  return nullptr;
}

}  // namespace

bool ParseHostOptions(const std::vector<std::string>& args, HostOptions& options,
                      std::string& error) {
  bool have_operand = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.mode = HostOptions::Mode::kHelp;
      return true;
    }
    const bool takes_value = ValueSlot(arg, options) != nullptr || arg == "--instance";
    if (takes_value) {
      if (i + 1 >= args.size()) {
        error = "option " + arg + " needs a value";
        return false;
      }
      const std::string& value = args[++i];
      if (arg == "--instance") {
        if (!ReadInt(value, options.instance)) {
          error = "option --instance needs an integer, not '" + value + "'";
          return false;
        }
      } else if (value.empty()) {
        error = "option " + arg + " needs a non-empty value";
        return false;
      } else {
        *ValueSlot(arg, options) = value;
      }
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg;
      return false;
    }
    if (have_operand) {
      error = "unexpected argument '" + arg + "'";
      return false;
    }
    have_operand = true;
    if (arg == "tree") {
      options.mode = HostOptions::Mode::kTree;
    } else if (arg == "demo") {
      options.mode = HostOptions::Mode::kDemo;
    } else {
      options.script = arg;
    }
  }
  return true;
}

std::string HostUsage() {
  return "usage: group_host [--plugin PATH] [--data-dir DIR] [--config-dir DIR] "
         "[--instance N] [SCRIPT | -]\n"
         "       group_host [options] tree\n"
         "       group_host [options] demo\n"
         "A script holds one JSON command per line, for example\n"
         "  {\"request\": \"CreateLogicalGroup\", \"group\": {\"groupId\": \"g1\"}}\n"
         "Standard output carries one JSON line per notification, reply or error;\n"
         "the plug-in's diagnostics go to standard error.\n";
}
