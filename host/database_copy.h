// Copies of a whole database through SQLite's online backup API, which
// copies pages from inside one read transaction of the source: the copy is
// one committed state of the source even while another process writes to
// it (in write-ahead mode the writer is not even slowed down), and it
// includes what is committed in the source's write-ahead log.
#ifndef PGA_HOST_DATABASE_COPY_H_
#define PGA_HOST_DATABASE_COPY_H_

#include <string>

#include "host/progress_meter.h"
#include "host/sqlite_connection.h"

namespace pga {

// Copies `source` over the database open on `dest`, in one write
// transaction of `dest`: an interrupted copy leaves `dest` as it was.
// `progress` (may be null) counts pages. Fails with a one-line reason.
bool CopyDatabase(SqliteConnection& source, SqliteConnection& dest, ProgressMeter* progress,
                  std::string& error);

// Copies `source` into the file `dest_path` (existing and empty), then
// puts that file in SQLite's default journal mode, so that it is one
// self-contained file (a copy of a store in write-ahead mode would say that
// it is one too), and runs integrity_check on it.
bool CopyDatabaseToFile(SqliteConnection& source, const std::string& dest_path,
                        ProgressMeter* progress, std::string& error);

}  // namespace pga

#endif  // PGA_HOST_DATABASE_COPY_H_
