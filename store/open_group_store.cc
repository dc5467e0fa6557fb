#include "store/open_group_store.h"

#include <cstdlib>
#include <string>

#include "store/postgres_group_repository.h"
#include "store/sqlite_group_repository.h"

namespace pga {

std::shared_ptr<IGroupRepository> OpenGroupStore() {
  const char* shared = std::getenv(kStoreVariable);
  if (shared == nullptr || *shared == '\0') return std::make_shared<SqliteGroupRepository>();
  return std::make_shared<PostgresGroupRepository>(std::string(shared));
}

}  // namespace pga
