#include "tools/store_tools.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <system_error>
#include <utility>

#include "store/open_group_store.h"
#include "tools/atomic_file.h"
#include "tools/database_copy.h"
#include "tools/postgres_store_access.h"
#include "tools/progress_meter.h"
#include "tools/sqlite_connection.h"
#include "tools/sqlite_store_access.h"
#include "tools/store_check.h"
#include "tools/store_lock.h"
#include "tools/store_paths.h"
#include "tools/store_salvage.h"
#include "tools/store_table.h"
#include "tools/tree_document.h"
#include "tools/tree_printer.h"

namespace pga {

namespace fs = std::filesystem;

namespace {

// The name start of the temporaries that restore makes beside group.db.
constexpr char kStoreTempPrefix[] = ".group.db";

// Clears what a writer killed in the middle of a transaction left: its
// rollback journal. A read-only connection cannot roll a journal back and
// fails every read ("attempt to write a readonly database") until some
// writer opens the file; a connection that may write rolls it back at its
// first read, as every writer of SQLite does. A journal that is still
// there once that connection holds the write lock belongs to nobody (a
// writer killed before it wrote anything leaves an empty one).
void RollBackInterrupted(const fs::path& path) {
  std::error_code code;
  const fs::path journal = path.string() + "-journal";
  if (!fs::exists(journal, code)) return;
  SqliteConnection writer;
  std::string ignored;
  if (!writer.Open(path.string(), SqliteConnection::Mode::kReadWrite, ignored)) return;
  if (!writer.Exec("SELECT count(*) FROM sqlite_schema", ignored)) return;
  writer.SetBusyTimeout(0);
  if (!writer.Exec("BEGIN IMMEDIATE", ignored)) return;
  fs::remove(journal, code);
  writer.Exec("ROLLBACK", ignored);
}

// Asks the processor early for the memory that writing row order[i] a few
// rows later will read. Rows in id order lie all over memory, and waiting
// for each row's bytes took half of an export of a million rows. A row's
// own bytes are asked for first and its texts a few rows later, once the
// row that says where they are has arrived. Inlined by force: GCC takes a
// function that only prefetches for one without effect and drops its
// calls.
[[gnu::always_inline]] inline void FetchAhead(const std::vector<StoreRow>& rows,
                                              const std::vector<std::size_t>& order,
                                              std::size_t i) {
  constexpr std::size_t kRowDistance = 16;
  constexpr std::size_t kTextDistance = 8;
  constexpr std::size_t kCacheLine = 64;
  if (i + kRowDistance < order.size()) {
    const char* row = reinterpret_cast<const char*>(&rows[order[i + kRowDistance]]);
    // A row seldom starts a cache line: its last byte may lie on one more.
    for (std::size_t at = 0; at < sizeof(StoreRow); at += kCacheLine) __builtin_prefetch(row + at);
    __builtin_prefetch(row + sizeof(StoreRow) - 1);
  }
  if (i + kTextDistance < order.size()) {
    const StoreRow& row = rows[order[i + kTextDistance]];
    __builtin_prefetch(row.item_id.bytes.data());
    __builtin_prefetch(row.parent_id.bytes.data());
    __builtin_prefetch(row.name.bytes.data());
    __builtin_prefetch(row.type.bytes.data());
  }
}

// Finds the store of `data_dir` and clears what a killed restore or
// import left: a half-made copy beside it, an interrupted transaction.
bool FindStore(const std::string& data_dir, StorePaths& paths, std::string& error) {
  if (!StorePaths::Find(data_dir, paths, error)) return false;
  AtomicFile::RemoveStale(paths.dir, kStoreTempPrefix);
  RollBackInterrupted(paths.db);
  return true;
}

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

// Refuses a file name that the verb must not write to: the store,
// standard output, anything but a regular file, and an existing file
// without `replace`. Clears the temporaries a killed run of the same verb
// left beside it.
bool CheckDestination(const StorePaths& paths, const std::string& dest, bool replace,
                      std::string& error) {
  if (dest == "-") {
    error = "this verb writes a file, not standard output";
    return false;
  }
  if (!paths.db.empty() && paths.IsStoreFile(dest)) {
    error = dest + " is the store itself";
    return false;
  }
  if (!AtomicFile::MayWrite(dest, replace, error)) return false;
  const fs::path path(dest);
  AtomicFile::RemoveStale(path.has_parent_path() ? path.parent_path() : fs::path("."),
                          "." + path.filename().string());
  return true;
}

// The largest document import reads. An export takes about 150 bytes per
// item, so this is thousands of times a large site's; anything bigger is not
// an export, and reading it whole would only exhaust memory.
constexpr std::size_t kMaxDocumentBytes = std::size_t{1} << 30;

// The bytes an item takes in a document at least: its six members with
// one-byte values, its braces and commas.
constexpr std::size_t kLeastItemBytes = 69;

// A document that import reads a block at a time: a file, or standard
// input for "-". Fails, with the reason in error(), on what cannot be read
// and on more than kMaxDocumentBytes.
class DocumentFile {
 public:
  DocumentFile() = default;
  DocumentFile(const DocumentFile&) = delete;
  DocumentFile& operator=(const DocumentFile&) = delete;
  ~DocumentFile() {
    if (file_ != nullptr && file_ != stdin) std::fclose(file_);
  }

  bool Open(const std::string& path) {
    path_ = path;
    std::error_code code;
    if (path == "-") {
      file_ = stdin;
      return true;
    }
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr || fs::is_directory(path, code)) {
      error_ = "cannot read " + path;
      return false;
    }
    if (fs::is_regular_file(path, code)) {
      size_ = fs::file_size(path, code);
      if (code) size_ = 0;
      if (size_ > kMaxDocumentBytes) {
        error_ = TooBig();
        return false;
      }
    }
    return true;
  }

  // Up to `size` more bytes into `buffer`; 0 at the end and on failure.
  std::size_t Read(char* buffer, std::size_t size) {
    if (!error_.empty()) return 0;
    const std::size_t n = std::fread(buffer, 1, size, file_);
    if (n == 0 && std::ferror(file_)) {
      error_ = "cannot read " + path_;
      return 0;
    }
    // Standard input and other streams of unknown size stop at the bound too.
    if (read_ + n > kMaxDocumentBytes) {
      error_ = TooBig();
      return 0;
    }
    read_ += n;
    return n;
  }

  // The size of a regular file, else 0.
  std::size_t size() const { return size_; }
  std::size_t read() const { return read_; }
  const std::string& error() const { return error_; }

 private:
  std::string TooBig() const {
    return path_ + " is larger than 1 GiB, which no export of a tree is";
  }

  std::string path_;
  std::FILE* file_ = nullptr;
  std::size_t size_ = 0;
  std::size_t read_ = 0;
  std::string error_;
};

}  // namespace

StoreTools::StoreTools(StoreVerb options, std::FILE* out, std::FILE* err)
    : options_(std::move(options)), out_(out), err_(err) {}

int StoreTools::Run() {
  switch (options_.kind) {
    case StoreVerb::Kind::kTree:
      return Tree();
    case StoreVerb::Kind::kCheck:
      return Check();
    case StoreVerb::Kind::kBackup:
      return Backup();
    case StoreVerb::Kind::kRestore:
      return Restore();
    case StoreVerb::Kind::kExport:
      return Export();
    case StoreVerb::Kind::kImport:
      return Import();
  }
  return Fail("not a store verb");
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

namespace {

// Adds a stored row to the outline as the component reads it: NULL and
// other storage classes become the empty text or 0, the order is cut to 32
// bits.
void AddToOutline(TreePrinter& printer, const StoreRow& row) {
  const auto number = [](const StoreValue& value) {
    return value.kind == StoreValue::Kind::kInteger ? value.integer : 0;
  };
  printer.Add(row.item_id.TextOrEmpty(), row.parent_id.TextOrEmpty(), row.name.TextOrEmpty(),
              row.type.TextOrEmpty() == kGroupType, static_cast<int32_t>(number(row.order)));
}

// The same for the current row of StoreTable::Scan.
void AddToOutline(TreePrinter& printer, sqlite3_stmt* row) {
  const auto text = [row](int column) {
    if (sqlite3_column_type(row, column) != SQLITE_TEXT) return std::string_view();
    // The pointer first, then the length: the order SQLite documents.
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
    return std::string_view(bytes != nullptr ? bytes : "",
                            static_cast<std::size_t>(sqlite3_column_bytes(row, column)));
  };
  const int64_t order =
      sqlite3_column_type(row, 4) == SQLITE_INTEGER ? sqlite3_column_int64(row, 4) : 0;
  printer.Add(text(0), text(1), text(2), text(3) == kGroupType, static_cast<int32_t>(order));
}

bool IdIsText(sqlite3_stmt* row) { return sqlite3_column_type(row, 0) == SQLITE_TEXT; }
bool IdIsText(const StoreRow& row) { return row.item_id.is_text(); }

// The rows that `scan(each, in_id_order, error)` hands over, read into
// `printer`. First in the store's own order, several times faster than by
// id: when every id is a text and no two are the same, the order items are
// added in makes no difference to the outline. Other tables are read again
// by id.
template <typename Scan>
bool ReadIntoOutline(TreePrinter& printer, std::string& error, const Scan& scan) {
  bool texts = true;
  std::string ignored;
  if (scan(
          [&printer, &texts](const auto& row) {
            texts = texts && IdIsText(row);
            AddToOutline(printer, row);
          },
          false, ignored) &&
      texts && printer.UniqueIds()) {
    return true;
  }
  printer = TreePrinter(GroupOrderModelList());
  return scan([&printer](const auto& row) { AddToOutline(printer, row); }, true, error);
}

// The stored tree of group.db in `data_dir`, read into `printer`.
bool ReadOutline(const std::string& data_dir, TreePrinter& printer, std::string& error,
                 ProgressMeter* meter) {
  StorePaths paths;
  SqliteConnection connection;
  if (!FindStore(data_dir, paths, error) || !OpenStore(paths.db, connection, error)) return false;
  StoreTable table(connection);
  if (meter != nullptr) meter->SetTotal(table.Count());
  const auto progress = [meter](std::size_t done) {
    if (meter != nullptr) meter->Update(done);
  };
  return ReadIntoOutline(printer, error, [&](const auto& each, bool in_id_order, std::string& why) {
    return table.Scan(each, why, progress, in_id_order);
  });
}

// The stored tree of the store that `store` reads, read into `printer`.
bool ScanOutline(StoreAccess& store, TreePrinter& printer, std::string& error,
                 ProgressMeter& meter) {
  const auto progress = [&meter](std::size_t done) { meter.Update(done); };
  return ReadIntoOutline(printer, error, [&](const auto& each, bool in_id_order, std::string& why) {
    return store.Scan(each, in_id_order, why, progress);
  });
}

}  // namespace

bool StoreTools::TreeLines(const std::string& data_dir, std::vector<std::string>& lines,
                           std::string& error) {
  TreePrinter printer{GroupOrderModelList()};
  if (!ReadOutline(data_dir, printer, error, nullptr)) return false;
  lines = printer.Lines();
  return true;
}

int StoreTools::Tree() {
  TreePrinter printer{GroupOrderModelList()};
  std::string error;
  bool read;
  {
    ProgressMeter meter("tree: reading", "items");
    if (SharedStore().empty()) {
      read = ReadOutline(options_.data_dir, printer, error, &meter);
    } else {
      // Read-only transactions: a database without the store's tables is
      // refused, never given them.
      std::unique_ptr<StoreAccess> store;
      read = OpenAccess(store, error) && ScanOutline(*store, printer, error, meter);
    }
  }
  if (!read) return Fail(error);
  // On a terminal the lines themselves show how far the printing is.
  ProgressMeter meter("tree", "items");
  meter.SetTotal(printer.size());
  const bool to_terminal = isatty(fileno(out_)) == 1;
  printer.Print([this](const std::string& line) { Print(line); },
                [&meter, to_terminal](std::size_t done) {
                  if (!to_terminal) meter.Update(done);
                });
  return kSuccess;
}

int StoreTools::FailCheck(const std::string& store, const std::string& error) const {
  if (options_.json) Print(StoreCheck::FailureJson(store, error));
  return Fail(error);
}

int StoreTools::Check() {
  std::unique_ptr<StoreAccess> store;
  StoreCheck check;
  std::string error;
  if (!OpenAccess(store, error)) {
    std::error_code code;
    const fs::path dir =
        options_.data_dir.empty() ? fs::current_path(code) : fs::path(options_.data_dir);
    return FailCheck(SharedStore().empty() ? (dir / "group.db").string() : "the shared store",
                     error);
  }
  if (!check.Run(*store, error)) return FailCheck(store->name(), error);
  if (options_.json) {
    Print(check.Json(store->name(), options_.strict));
  } else {
    for (const std::string& line : check.Lines()) Print(line);
  }
  return check.Sound(options_.strict) ? kSuccess : kProblems;
}

// Each progress meter lives in a block of its own: it ends its line when
// destroyed, before the verb prints its result or its error.

int StoreTools::Backup() {
  if (!SharedStore().empty()) return RefuseShared();
  StorePaths paths;
  SqliteConnection store;
  AtomicFile copy;
  const std::string& dest = options_.path;
  std::string error;
  if (!FindStore(options_.data_dir, paths, error) ||
      !CheckDestination(paths, dest, options_.force, error)) {
    return Fail(error);
  }
  if (options_.salvage) return Salvage(paths);
  if (!OpenStore(paths.db, store, error) || !copy.Create(dest, FileMode(paths.db), error)) {
    return Fail(error);
  }
  bool copied;
  {
    ProgressMeter meter("backup", "pages");
    copied = CopyDatabaseToFile(store, copy.temp_path().string(), &meter, error);
  }
  if (!copied || !copy.Commit(options_.force, error)) return Fail("backup failed: " + error);
  Print("backed up " + paths.db.string() + " to " + dest);
  return kSuccess;
}

int StoreTools::Salvage(const StorePaths& paths) {
  SqliteConnection store;
  std::vector<StoreRow> rows;
  std::size_t damaged = 0;
  AtomicFile copy;
  const std::string& dest = options_.path;
  std::string error;
  bool salvaged;
  {
    ProgressMeter meter("backup --salvage: reading", "items");
    salvaged = store.Open(paths.db.string(), SqliteConnection::Mode::kReadOnly, error) &&
               SalvageRows(store, rows, damaged, error,
                           [&meter](std::size_t done) { meter.Update(done); });
  }
  if (!salvaged) return Fail(paths.db.string() + ": nothing can be salvaged: " + error);
  bool written;
  {
    ProgressMeter meter("backup --salvage: writing", "items");
    meter.SetTotal(rows.size());
    written = copy.Create(dest, FileMode(paths.db), error) &&
              WriteNewStore(copy.temp_path().string(), rows, error,
                            [&meter](std::size_t done) { meter.Update(done); });
  }
  if (!written || !copy.Commit(options_.force, error)) return Fail("salvage failed: " + error);
  Print("salvaged " + std::to_string(rows.size()) + " items from " + paths.db.string() + " to " +
        dest +
        (damaged == 0 ? std::string("; every row could be read")
                      : "; " + std::to_string(damaged) + " damaged part" +
                            (damaged == 1 ? " was" : "s were") + " stepped over") +
        "; run check on it before restoring it");
  return kSuccess;
}

int StoreTools::Restore() {
  if (!SharedStore().empty()) return RefuseShared();
  StorePaths paths;
  SqliteConnection source;
  AtomicFile copy;
  const std::string& src = options_.path;
  std::string error;
  if (!FindStore(options_.data_dir, paths, error)) return Fail(error);
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
    copied = copy.Create(paths.db, FileMode(paths.db), error) &&
             CopyDatabaseToFile(source, copy.temp_path().string(), &meter, error, false);
  }
  if (!copied ||
      !checked.Open(copy.temp_path().string(), SqliteConnection::Mode::kReadOnly, error)) {
    return Fail("cannot restore from " + src + ": " + error);
  }
  SqliteStoreAccess checked_store(checked, src);
  checked_store.set_progress_label("restore: checking the copy");
  if (!check.Run(checked_store, error)) {
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
  std::unique_ptr<StoreAccess> store;
  std::string error;
  if (!OpenAccess(store, error)) return Fail(error);
  const bool to_file = options_.path != "-";
  if (to_file && !CheckDestination(paths_, options_.path, options_.force, error)) {
    return Fail(error);
  }
  std::vector<StoreRow> rows;
  std::vector<std::size_t> order;  // the rows in id order
  bool read;
  {
    ProgressMeter meter("export: reading", "items");
    meter.SetTotal(store->Count());
    read =
        store->ReadInOrder(rows, order, error, [&meter](std::size_t done) { meter.Update(done); });
  }
  if (!read) return Fail(store->name() + ": " + error);
  // The document goes into the temporary file that becomes the export a
  // block at a time; standard output gets it whole, once made.
  AtomicFile file;
  if (to_file && !file.Create(options_.path, store->file_mode(), error)) return Fail(error);
  constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
  std::string text;
  TreeDocumentWriter writer(text);
  bool written = true;
  {
    ProgressMeter meter("export", "items");
    meter.SetTotal(rows.size());
    writer.Begin();
    for (std::size_t i = 0; i < rows.size() && written; ++i) {
      FetchAhead(rows, order, i);
      writer.Add(rows[order[i]]);
      if (to_file && text.size() >= kBlockBytes) {
        written = file.Write(text, error);
        text.clear();
      }
      if ((i + 1) % 4096 == 0) meter.Update(i + 1);
    }
    writer.End();
  }
  if (!to_file) {
    std::fwrite(text.data(), 1, text.size(), out_);
    return std::fflush(out_) == 0 ? kSuccess : Fail("cannot write standard output");
  }
  if (!written || !file.Write(text, error) || !file.Commit(options_.force, error)) {
    return Fail(error);
  }
  Print("exported " + std::to_string(rows.size()) + " items to " + options_.path);
  return kSuccess;
}

int StoreTools::Import() {
  std::unique_ptr<StoreAccess> store;
  DocumentFile input;
  std::vector<StoreRow> rows;
  std::string error;
  const std::string& file = options_.path;
  if (!OpenAccess(store, error)) return Fail(error);
  if (!input.Open(file)) return Fail(input.error());
  // Room for as many items as the file can hold: the pages of what is not
  // used are never touched, and the rows are never moved as they grow.
  if (input.size() > 0) rows.reserve(input.size() / kLeastItemBytes + 1);
  bool read;
  {
    ProgressMeter meter("import: reading", "bytes");
    meter.SetTotal(input.size());
    read = ReadTreeDocument(
        [&input, &meter](char* buffer, std::size_t size) {
          const std::size_t n = input.Read(buffer, size);
          meter.Update(input.read());
          return n;
        },
        rows, error);
  }
  // The whole input is read either way: what could not be read or was too
  // big is the reason, not what the document looked like before it.
  if (!input.error().empty()) return Fail(input.error());
  if (!read) return Fail(file + ": " + error);
  StoreCheck check;
  check.RunOnRows(rows);
  if (!check.Sound(false)) return Refuse(check.ProblemLines(), file);
  bool replaced;
  {
    ProgressMeter meter("import", "items");
    meter.SetTotal(rows.size());
    replaced = store->Replace(rows, error, [&meter](std::size_t done) { meter.Update(done); });
  }
  if (!replaced) return Fail(error);
  Print("imported " + std::to_string(rows.size()) + " items into " + store->name());
  return kSuccess;
}

std::string StoreTools::SharedStore() const {
  if (!options_.store.empty()) return options_.store;
  const char* shared = std::getenv(kStoreVariable);
  return shared != nullptr ? shared : "";
}

bool StoreTools::OpenAccess(std::unique_ptr<StoreAccess>& store, std::string& error) {
  const std::string shared = SharedStore();
  if (!shared.empty()) {
    auto postgres = std::make_unique<PostgresStoreAccess>();
    if (!postgres->Connect(shared, error)) return false;
    store = std::move(postgres);
    return true;
  }
  if (!FindStore(options_.data_dir, paths_, error)) return false;
  store = std::make_unique<SqliteStoreAccess>(paths_);
  return true;
}

int StoreTools::RefuseShared() const {
  return Fail(std::string(options_.kind == StoreVerb::Kind::kBackup ? "backup" : "restore") +
              " works on group.db only; a shared store is backed up with PostgreSQL's own "
              "tools: pg_dump --format=custom --file=DEST \"$" +
              kStoreVariable +
              "\", restored with pg_restore --clean --single-transaction --dbname=\"$" +
              kStoreVariable + "\" DEST while no server runs (see the README)");
}

}  // namespace pga
