#include "host/store_tools.h"

#include <cstddef>
#include <fstream>
#include <iostream>
#include <iterator>
#include <system_error>
#include <utility>

#include "host/atomic_file.h"
#include "host/database_copy.h"
#include "host/progress_meter.h"
#include "host/sqlite_connection.h"
#include "host/store_check.h"
#include "host/store_lock.h"
#include "host/store_paths.h"
#include "host/store_table.h"
#include "host/tree_document.h"
#include "host/tree_printer.h"

namespace pga {

namespace fs = std::filesystem;

namespace {

// Opens `path` read-only as a group store.
bool OpenStore(const fs::path& path, SqliteConnection& connection, std::string& error) {
  std::error_code code;
  if (!fs::is_regular_file(path, code)) {
    error = path.string() + " does not exist or is not a file";
    return false;
  }
  if (!connection.Open(path.string(), SqliteConnection::Mode::kReadOnly, error) ||
      !StoreTable(connection).Verify(error)) {
    error = path.string() + ": " + error;
    return false;
  }
  return true;
}

// Refuses a file name that the verb must not write to: the store, a
// directory, standard output.
bool CheckDestination(const StorePaths& paths, const std::string& dest, std::string& error) {
  std::error_code code;
  if (dest == "-") {
    error = "this verb writes a file, not standard output";
  } else if (paths.IsStoreFile(dest)) {
    error = dest + " is the store itself";
  } else if (fs::is_directory(dest, code)) {
    error = dest + " is a directory";
  } else {
    return true;
  }
  return false;
}

// The largest document import reads. An export takes about 150 bytes per
// item, so this is thousands of times a large site's; anything bigger is not
// an export, and reading it whole would only exhaust memory.
constexpr std::size_t kMaxDocumentBytes = std::size_t{1} << 30;

bool ReadWholeFile(const std::string& path, std::string& text, std::string& error) {
  std::ifstream file;
  std::istream* in = &std::cin;
  if (path != "-") {
    file.open(path, std::ios::binary);
    in = &file;
  }
  std::error_code code;
  if ((path != "-" && (!file.is_open() || fs::is_directory(path, code)))) {
    error = "cannot read " + path;
    return false;
  }
  const std::string too_big = path + " is larger than 1 GiB, which no export of a tree is";
  if (path != "-" && fs::is_regular_file(path, code) &&
      fs::file_size(path, code) > kMaxDocumentBytes) {
    error = too_big;
    return false;
  }
  text.clear();
  // Standard input and other streams of unknown size stop at the bound too.
  char chunk[1 << 16];
  while (in->read(chunk, sizeof chunk) || in->gcount() > 0) {
    if (text.size() + static_cast<std::size_t>(in->gcount()) > kMaxDocumentBytes) {
      error = too_big;
      return false;
    }
    text.append(chunk, static_cast<std::size_t>(in->gcount()));
  }
  if (in->bad()) {
    error = "cannot read " + path;
    return false;
  }
  return true;
}

}  // namespace

StoreTools::StoreTools(HostOptions options, std::FILE* out, std::FILE* err)
    : options_(std::move(options)), out_(out), err_(err) {}

int StoreTools::Run() {
  switch (options_.mode) {
    case HostOptions::Mode::kTree:
      return Tree();
    case HostOptions::Mode::kCheck:
      return Check();
    case HostOptions::Mode::kBackup:
      return Backup();
    case HostOptions::Mode::kRestore:
      return Restore();
    case HostOptions::Mode::kExport:
      return Export();
    case HostOptions::Mode::kImport:
      return Import();
    default:
      return Fail("not a store verb");
  }
}

int StoreTools::Fail(const std::string& message) const {
  std::fprintf(err_, "group_host: %s\n", message.c_str());
  return kCannot;
}

void StoreTools::Print(const std::string& line) const {
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fputc('\n', out_);
}

int StoreTools::Refuse(const std::vector<std::string>& problems, const std::string& what) const {
  for (const std::string& line : problems) Print(line);
  std::fprintf(err_, "group_host: %s has %zu problem%s; the store is unchanged\n", what.c_str(),
               problems.size(), problems.size() == 1 ? "" : "s");
  return kProblems;
}

bool StoreTools::TreeLines(const std::string& data_dir, std::vector<std::string>& lines,
                           std::string& error) {
  StorePaths paths;
  SqliteConnection connection;
  std::vector<StoreRow> rows;
  if (!StorePaths::Find(data_dir, paths, error) || !OpenStore(paths.db, connection, error) ||
      !StoreTable(connection).Read(rows, error)) {
    return false;
  }
  GroupOrderModelList items;
  items.reserve(rows.size());
  for (const StoreRow& row : rows) items.push_back(std::make_shared<GroupOrderModel>(row.ToItem()));
  lines = TreePrinter(items).Lines();
  return true;
}

int StoreTools::Tree() {
  std::vector<std::string> lines;
  std::string error;
  if (!TreeLines(options_.data_dir, lines, error)) return Fail(error);
  for (const std::string& line : lines) Print(line);
  return kSuccess;
}

int StoreTools::Check() {
  StorePaths paths;
  SqliteConnection connection;
  StoreCheck check;
  std::string error;
  if (!StorePaths::Find(options_.data_dir, paths, error)) return Fail(error);
  if (!connection.Open(paths.db.string(), SqliteConnection::Mode::kReadOnly, error) ||
      !check.Run(connection, error)) {
    return Fail(paths.db.string() + ": " + error);
  }
  if (options_.json) {
    Print(check.Json(paths.db.string(), options_.strict));
  } else {
    for (const std::string& line : check.Lines()) Print(line);
  }
  return check.Sound(options_.strict) ? kSuccess : kProblems;
}

// Each progress meter lives in a block of its own: it ends its line when
// destroyed, before the verb prints its result or its error.

int StoreTools::Backup() {
  StorePaths paths;
  SqliteConnection store;
  AtomicFile copy;
  const std::string& dest = options_.path;
  std::string error;
  std::error_code code;
  if (!StorePaths::Find(options_.data_dir, paths, error) || !CheckDestination(paths, dest, error)) {
    return Fail(error);
  }
  if (fs::exists(dest, code) && !options_.force) {
    return Fail(dest + " exists; add --force to replace it");
  }
  if (!OpenStore(paths.db, store, error) || !copy.Create(dest, error)) return Fail(error);
  bool copied;
  {
    ProgressMeter meter("backup", "pages");
    copied = CopyDatabaseToFile(store, copy.temp_path().string(), &meter, error);
  }
  if (!copied || !copy.Commit(options_.force, error)) return Fail("backup failed: " + error);
  Print("backed up " + paths.db.string() + " to " + dest);
  return kSuccess;
}

int StoreTools::Restore() {
  StorePaths paths;
  SqliteConnection source;
  AtomicFile copy;
  const std::string& src = options_.path;
  std::string error;
  if (!StorePaths::Find(options_.data_dir, paths, error)) return Fail(error);
  if (src == "-" || paths.IsStoreFile(src)) {
    return Fail(src == "-" ? "restore reads a file, not standard input"
                           : src + " is the store itself");
  }
  if (!OpenStore(src, source, error)) return Fail(error);
  // The copy that is checked is the copy that is restored, made beside the
  // store first; the source may change or vanish meanwhile.
  SqliteConnection checked;
  StoreCheck check;
  bool copied;
  {
    ProgressMeter meter("restore: copying", "pages");
    copied = copy.Create(paths.db, error) &&
             CopyDatabaseToFile(source, copy.temp_path().string(), &meter, error);
  }
  if (!copied ||
      !checked.Open(copy.temp_path().string(), SqliteConnection::Mode::kReadOnly, error) ||
      !check.Run(checked, error)) {
    return Fail("cannot restore from " + src + ": " + error);
  }
  if (!check.Sound(false)) return Refuse(check.ProblemLines(), src);
  StoreLock lock;
  if (!lock.Acquire(paths, error)) return Fail(error);
  {
    ProgressMeter meter("restore", "pages");
    copied = CopyDatabase(checked, lock.connection(), &meter, error);
  }
  if (!copied) return Fail("restore failed, the store is unchanged: " + error);
  Print("restored " + paths.db.string() + " from " + src);
  return kSuccess;
}

int StoreTools::Export() {
  StorePaths paths;
  SqliteConnection store;
  std::vector<StoreRow> rows;
  std::string error;
  if (!StorePaths::Find(options_.data_dir, paths, error) || !OpenStore(paths.db, store, error)) {
    return Fail(error);
  }
  const bool to_file = options_.path != "-";
  if (to_file && !CheckDestination(paths, options_.path, error)) return Fail(error);
  if (!StoreTable(store).Read(rows, error)) return Fail(paths.db.string() + ": " + error);
  std::string text;
  {
    ProgressMeter meter("export", "items");
    meter.SetTotal(rows.size());
    text = WriteTreeDocument(rows, [&meter](std::size_t done) { meter.Update(done); });
  }
  if (!to_file) {
    std::fwrite(text.data(), 1, text.size(), out_);
    return std::fflush(out_) == 0 ? kSuccess : Fail("cannot write standard output");
  }
  AtomicFile file;
  if (!file.Create(options_.path, error) || !file.Write(text, error) || !file.Commit(true, error)) {
    return Fail(error);
  }
  Print("exported " + std::to_string(rows.size()) + " items to " + options_.path);
  return kSuccess;
}

int StoreTools::Import() {
  StorePaths paths;
  std::string text;
  std::vector<StoreRow> rows;
  std::string error;
  const std::string& file = options_.path;
  if (!StorePaths::Find(options_.data_dir, paths, error) || !ReadWholeFile(file, text, error)) {
    return Fail(error);
  }
  if (!ReadTreeDocument(text, rows, error)) return Fail(file + ": " + error);
  StoreCheck check;
  check.RunOnRows(rows);
  if (!check.Sound(false)) return Refuse(check.ProblemLines(), file);
  StoreLock lock;
  if (!lock.Acquire(paths, error)) return Fail(error);
  StoreTable table(lock.connection());
  bool replaced;
  {
    ProgressMeter meter("import", "items");
    meter.SetTotal(rows.size());
    replaced = table.Verify(error) &&
               table.Replace(rows, error, [&meter](std::size_t done) { meter.Update(done); });
  }
  if (!replaced) {
    return Fail(paths.db.string() + ": import failed, the store is unchanged: " + error);
  }
  Print("imported " + std::to_string(rows.size()) + " items into " + paths.db.string());
  return kSuccess;
}

}  // namespace pga
