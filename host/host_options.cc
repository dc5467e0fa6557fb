#include "host/host_options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace pga {

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
  if (name == "--store") return &options.store;
  return nullptr;
}

// A verb: its mode and how many file names may follow it.
struct Verb {
  const char* name;
  HostOptions::Mode mode;
  std::size_t min_files;
  std::size_t max_files;
};

constexpr Verb kVerbs[] = {
    {"tree", HostOptions::Mode::kTree, 0, 0},       {"demo", HostOptions::Mode::kDemo, 0, 0},
    {"check", HostOptions::Mode::kCheck, 0, 0},     {"backup", HostOptions::Mode::kBackup, 1, 1},
    {"restore", HostOptions::Mode::kRestore, 1, 1}, {"export", HostOptions::Mode::kExport, 0, 1},
    {"import", HostOptions::Mode::kImport, 1, 1},
};

// Gives the operands their meaning: a verb and its file, or a script.
bool ReadOperands(const std::vector<std::string>& operands, HostOptions& options,
                  std::string& error) {
  if (operands.empty()) return true;
  for (const Verb& verb : kVerbs) {
    if (operands[0] != verb.name) continue;
    const std::size_t files = operands.size() - 1;
    if (files < verb.min_files || files > verb.max_files) {
      error = std::string(verb.name) + (verb.max_files == 0   ? " takes no file name"
                                        : verb.min_files == 0 ? " takes at most one file name"
                                                              : " takes one file name");
      return false;
    }
    options.mode = verb.mode;
    if (files == 1) options.path = operands[1];
    return true;
  }
  if (operands.size() > 1) {
    error = "unexpected argument '" + operands[1] + "'";
    return false;
  }
  options.script = operands[0];
  return true;
}

}  // namespace

bool IsStoreVerb(HostOptions::Mode mode) {
  using Mode = HostOptions::Mode;
  return mode == Mode::kTree || mode == Mode::kCheck || mode == Mode::kBackup ||
         mode == Mode::kRestore || mode == Mode::kExport || mode == Mode::kImport;
}

bool ParseHostOptions(const std::vector<std::string>& args, HostOptions& options,
                      std::string& error) {
  std::vector<std::string> operands;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.mode = HostOptions::Mode::kHelp;
      return true;
    }
    bool* flag = arg == "--json"     ? &options.json
                 : arg == "--strict" ? &options.strict
                 : arg == "--force"  ? &options.force
                                     : nullptr;
    if (flag != nullptr) {
      *flag = true;
      continue;
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
    operands.push_back(arg);
  }
  if (!ReadOperands(operands, options, error)) return false;
  if ((options.json || options.strict) && options.mode != HostOptions::Mode::kCheck) {
    error = "--json and --strict go with check only";
    return false;
  }
  if (options.force && options.mode != HostOptions::Mode::kBackup) {
    error = "--force goes with backup only";
    return false;
  }
  // The other store verbs work on the file group.db.
  if (!options.store.empty() && IsStoreVerb(options.mode) &&
      options.mode != HostOptions::Mode::kTree) {
    error = "--store goes with scripts, demo and tree only";
    return false;
  }
  return true;
}

std::string HostUsage() {
  return "usage: group_host [options] [SCRIPT | -]   run a script against the plug-in\n"
         "       group_host [options] demo           the demo script in a fresh directory\n"
         "       group_host [options] tree           print the stored tree\n"
         "       group_host [options] check [--json] [--strict]\n"
         "                                 check the store: 0 sound, 1 problems, 2 cannot open\n"
         "       group_host [options] backup DEST [--force]\n"
         "                                 copy the store to DEST, also while a component runs\n"
         "       group_host [options] restore SRC\n"
         "                                 replace the store with the copy SRC (no component)\n"
         "       group_host [options] export [FILE | -]\n"
         "                                 write the stored tree as a JSON document\n"
         "       group_host [options] import FILE\n"
         "                                 replace the stored tree with a document (no component)\n"
         "options: --data-dir DIR (where group.db is; default: the current directory)\n"
         "         --plugin PATH, --config-dir DIR, --instance N (scripts and demo)\n"
         "         --store URI (scripts, demo and tree: the tree is kept in that\n"
         "                 PostgreSQL database, shared with every host that uses it)\n"
         "A script holds one JSON command per line, for example\n"
         "  {\"request\": \"CreateLogicalGroup\", \"group\": {\"groupId\": \"g1\"}}\n"
         "With --store the other hosts' changes are printed as notifications when\n"
         "they arrive.\n"
         "Standard output carries one JSON line per notification, reply or error;\n"
         "the plug-in's diagnostics go to standard error. The store verbs never\n"
         "create a directory or a store, and exit with 2 when they cannot work.\n";
}

}  // namespace pga
