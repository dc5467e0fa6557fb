// The request record of the group requests: the payload object of the events
// 25067002 to 25067007.
#ifndef PGA_GROUP_GROUP_REQUEST_PARAM_H_
#define PGA_GROUP_GROUP_REQUEST_PARAM_H_

#include <cstdint>
#include <memory>
#include <variant>

#include "records/group_model.h"
#include "runtime/base_object.h"

namespace pga {

// Carries the request's data in and the answer out. Allocated by the
// requester with `new ("GroupRequestParam") GroupRequestParam` through the
// host's allocator and placed in the event as its payload object; the event
// owns it. On success the handler leaves it in the event with `succeeded`
// set; on failure the handler replaces it by a result record.
class GroupRequestParam : public BaseObject {
 public:
  // What `payload` holds depends on the event type: a group to create,
  // rename or delete (25067003 to 25067005), a list of moves (25067007), or,
  // as the answer, the stored groups (25067002) or items (25067006).
  using Payload = std::variant<std::monostate, std::shared_ptr<GroupModel>,
                               std::shared_ptr<GroupModelList>,
                               std::shared_ptr<GroupOrderModelList>>;

  // Type code 1002000, name "GroupRequestParam", not succeeded, table key 0,
  // no payload.
  GroupRequestParam();
  ~GroupRequestParam() override;

  // The payload's group, or null when it holds none.
  std::shared_ptr<GroupModel> Group() const;
  // The payload's list of groups, or null.
  std::shared_ptr<GroupModelList> Groups() const;
  // The payload's list of items, or null.
  std::shared_ptr<GroupOrderModelList> Items() const;

  // Set to true by a handler that completed the request; never set to false.
  bool succeeded = false;
  // Passed to every store call of the request; only table 0 exists.
  std::uint32_t tableKey = 0;
  Payload payload;
};

}  // namespace pga

#endif  // PGA_GROUP_GROUP_REQUEST_PARAM_H_
