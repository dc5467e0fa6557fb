#include "doubles/fault_vfs.h"

#include <sqlite3.h>

#include <cstring>
#include <mutex>
#include <stdexcept>

namespace pga {

namespace {

constexpr char kName[] = "pga_fault";

FaultVfs* the_vfs = nullptr;
sqlite3_vfs* real_vfs = nullptr;
sqlite3_vfs wrapper_vfs;

// One open file: our header, then the wrapped VFS's own file structure.
struct FaultFile {
  sqlite3_file base;
  sqlite3_file* real;
};

sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<FaultFile*>(file)->real; }

// The failure code of a call of `kind`, or 0 when it must go through.
int Fault(IoCall kind) { return the_vfs->Enter(kind); }

int Close(sqlite3_file* file) {
  sqlite3_file* real = Real(file);
  // The file is closed whatever happens: closing is never failed.
  return real->pMethods->xClose(real);
}

int Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
  if (int code = Fault(IoCall::kRead)) return code;
  return Real(file)->pMethods->xRead(Real(file), buffer, amount, offset);
}

int Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
  if (int code = Fault(IoCall::kWrite)) return code;
  return Real(file)->pMethods->xWrite(Real(file), buffer, amount, offset);
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
  if (int code = Fault(IoCall::kTruncate)) return code;
  return Real(file)->pMethods->xTruncate(Real(file), size);
}

int Sync(sqlite3_file* file, int flags) {
  if (int code = Fault(IoCall::kSync)) return code;
  return Real(file)->pMethods->xSync(Real(file), flags);
}

int FileSize(sqlite3_file* file, sqlite3_int64* size) {
  if (int code = Fault(IoCall::kFileSize)) return code;
  return Real(file)->pMethods->xFileSize(Real(file), size);
}

int Lock(sqlite3_file* file, int level) {
  if (int code = Fault(IoCall::kLock)) return code;
  return Real(file)->pMethods->xLock(Real(file), level);
}

// Releasing a lock is never failed: SQLite ignores such failures anyway, and
// a lock it believes released but still held would only stall the next test.
int Unlock(sqlite3_file* file, int level) {
  return Real(file)->pMethods->xUnlock(Real(file), level);
}

int CheckReservedLock(sqlite3_file* file, int* out) {
  return Real(file)->pMethods->xCheckReservedLock(Real(file), out);
}

int FileControl(sqlite3_file* file, int op, void* arg) {
  return Real(file)->pMethods->xFileControl(Real(file), op, arg);
}

int SectorSize(sqlite3_file* file) { return Real(file)->pMethods->xSectorSize(Real(file)); }

int DeviceCharacteristics(sqlite3_file* file) {
  return Real(file)->pMethods->xDeviceCharacteristics(Real(file));
}

int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** out) {
  if (int code = Fault(IoCall::kOpen)) return code;
  return Real(file)->pMethods->xShmMap(Real(file), region, size, extend, out);
}

int ShmLock(sqlite3_file* file, int offset, int n, int flags) {
  // As for files, only taking a lock can fail.
  if ((flags & SQLITE_SHM_LOCK) != 0) {
    if (int code = Fault(IoCall::kLock)) return code;
  }
  return Real(file)->pMethods->xShmLock(Real(file), offset, n, flags);
}

void ShmBarrier(sqlite3_file* file) { Real(file)->pMethods->xShmBarrier(Real(file)); }

int ShmUnmap(sqlite3_file* file, int delete_flag) {
  return Real(file)->pMethods->xShmUnmap(Real(file), delete_flag);
}

int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
  return Real(file)->pMethods->xFetch(Real(file), offset, amount, out);
}

int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
  return Real(file)->pMethods->xUnfetch(Real(file), offset, page);
}

// The methods of wrapped files, one table per version of the wrapped VFS's
// tables (SQLite looks at iVersion before it calls the later slots).
sqlite3_io_methods MethodsOf(int version) {
  sqlite3_io_methods methods{};
  methods.iVersion = version;
  methods.xClose = Close;
  methods.xRead = Read;
  methods.xWrite = Write;
  methods.xTruncate = Truncate;
  methods.xSync = Sync;
  methods.xFileSize = FileSize;
  methods.xLock = Lock;
  methods.xUnlock = Unlock;
  methods.xCheckReservedLock = CheckReservedLock;
  methods.xFileControl = FileControl;
  methods.xSectorSize = SectorSize;
  methods.xDeviceCharacteristics = DeviceCharacteristics;
  if (version >= 2) {
    methods.xShmMap = ShmMap;
    methods.xShmLock = ShmLock;
    methods.xShmBarrier = ShmBarrier;
    methods.xShmUnmap = ShmUnmap;
  }
  if (version >= 3) {
    methods.xFetch = Fetch;
    methods.xUnfetch = Unfetch;
  }
  return methods;
}

sqlite3_io_methods methods_v1 = MethodsOf(1);
sqlite3_io_methods methods_v2 = MethodsOf(2);
sqlite3_io_methods methods_v3 = MethodsOf(3);

int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* out_flags) {
  auto* wrapped = reinterpret_cast<FaultFile*>(file);
  wrapped->base.pMethods = nullptr;
  wrapped->real = reinterpret_cast<sqlite3_file*>(wrapped + 1);
  if (int code = Fault(IoCall::kOpen)) return code;
  const int rc = real_vfs->xOpen(real_vfs, name, wrapped->real, flags, out_flags);
  // SQLite calls xClose on a file whose methods are set, even when xOpen
  // failed; the wrapper's are set exactly when the real file's are.
  const sqlite3_io_methods* real_methods = wrapped->real->pMethods;
  if (real_methods != nullptr) {
    wrapped->base.pMethods = real_methods->iVersion >= 3   ? &methods_v3
                             : real_methods->iVersion == 2 ? &methods_v2
                                                           : &methods_v1;
  }
  return rc;
}

int Delete(sqlite3_vfs*, const char* name, int sync_dir) {
  if (int code = Fault(IoCall::kDelete)) return code;
  return real_vfs->xDelete(real_vfs, name, sync_dir);
}

int Access(sqlite3_vfs*, const char* name, int flags, int* out) {
  return real_vfs->xAccess(real_vfs, name, flags, out);
}

int FullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
  return real_vfs->xFullPathname(real_vfs, name, size, out);
}

}  // namespace

const char* IoCallName(IoCall kind) {
  switch (kind) {
    case IoCall::kOpen:
      return "open";
    case IoCall::kRead:
      return "read";
    case IoCall::kWrite:
      return "write";
    case IoCall::kTruncate:
      return "truncate";
    case IoCall::kSync:
      return "sync";
    case IoCall::kLock:
      return "lock";
    case IoCall::kFileSize:
      return "file size";
    case IoCall::kDelete:
      return "delete";
    case IoCall::kCount:
      break;
  }
  return "?";
}

FaultVfs& FaultVfs::Install() {
  static std::once_flag once;
  std::call_once(once, [] {
    real_vfs = sqlite3_vfs_find(nullptr);
    if (real_vfs == nullptr) throw std::runtime_error("SQLite has no default VFS");
    the_vfs = new FaultVfs();
    the_vfs->real_name_ = real_vfs->zName;
    // Everything not overridden (randomness, time, dynamic loading, system
    // calls) is the real VFS's own; those take the VFS they were given and
    // only look at its pAppData, which the copy keeps.
    wrapper_vfs = *real_vfs;
    wrapper_vfs.szOsFile = static_cast<int>(sizeof(FaultFile)) + real_vfs->szOsFile;
    wrapper_vfs.zName = kName;
    wrapper_vfs.pNext = nullptr;
    wrapper_vfs.xOpen = Open;
    wrapper_vfs.xDelete = Delete;
    wrapper_vfs.xAccess = Access;
    wrapper_vfs.xFullPathname = FullPathname;
    if (sqlite3_vfs_register(&wrapper_vfs, 1) != SQLITE_OK) {
      throw std::runtime_error("cannot register the fault-injecting VFS");
    }
  });
  return *the_vfs;
}

FaultVfs::Counts FaultVfs::counts() const {
  Counts out{};
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = counts_[i].load();
  return out;
}

void FaultVfs::ResetCounts() {
  for (auto& count : counts_) count = 0;
}

void FaultVfs::Arm(const Fault& fault) {
  armed_ = false;
  fault_ = fault;
  seen_ = 0;
  failures_ = 0;
  armed_ = true;
}

void FaultVfs::Disarm() { armed_ = false; }

int FaultVfs::Enter(IoCall kind) {
  ++counts_[static_cast<std::size_t>(kind)];
  if (!armed_.load() || kind != fault_.kind) return 0;
  const std::uint64_t call = ++seen_;
  if (call == fault_.nth || (fault_.sticky && call > fault_.nth)) {
    ++failures_;
    return fault_.code;
  }
  return 0;
}

}  // namespace pga
