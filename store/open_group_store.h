// Where the component keeps its tree.
#ifndef PGA_STORE_OPEN_GROUP_STORE_H_
#define PGA_STORE_OPEN_GROUP_STORE_H_

#include <memory>

#include "store/i_group_repository.h"

namespace pga {

// The environment variable that names a shared store.
inline constexpr char kStoreVariable[] = "PGA_STORE";

// Opens the store of the tree. When the environment variable PGA_STORE is
// set and not empty, it holds a libpq connection string or URI, and the tree
// is kept in that PostgreSQL database, which other servers may share.
// Otherwise the tree is kept in the SQLite file "group.db" in the current
// directory. Throws what the chosen repository throws when its database
// cannot be opened (a Poco::Data::DataException).
std::shared_ptr<IGroupRepository> OpenGroupStore();

}  // namespace pga

#endif  // PGA_STORE_OPEN_GROUP_STORE_H_
