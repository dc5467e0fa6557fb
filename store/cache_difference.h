// The notices that take a reader of one item cache to another.
#ifndef PGA_STORE_CACHE_DIFFERENCE_H_
#define PGA_STORE_CACHE_DIFFERENCE_H_

#include "store/change_notice.h"
#include "store/item_cache.h"

namespace pga {

// The notices that announce, as the handlers announce their changes, every
// difference between `before` and `after`: "LogicalGroupDeleted" and
// "LogicalMappingDeleted" for the groups and items gone (by id),
// "LogicalGroupCreated" and "LogicalMappingCreated" for those new (whole),
// "LogicalGroupModified" for a group whose name changed and
// "LogicalMappingModified" for an item whose parent, order or type changed
// (as they are in `after`). Each notice names its items in id order; one
// with nothing to name is left out, so equal caches give none. A group is
// an item of type "Group".
ChangeNotices CacheDifference(const ItemCache& before, const ItemCache& after);

}  // namespace pga

#endif  // PGA_STORE_CACHE_DIFFERENCE_H_
