// The group component's side of the platform interface: the scope of the
// answer to the logical-list request. The component class derives from it.
#ifndef PGA_RECORDS_I_GROUP_APPLICATION_H_
#define PGA_RECORDS_I_GROUP_APPLICATION_H_

#include <memory>

#include "records/group_model.h"
#include "runtime/base_object.h"

namespace pga {

class IGroupApplication {
 public:
  // Every item of the tree, and a group record for each group among them.
  // Allocated with `new ("LogicalList") LogicalList` through the host's
  // allocator; the event that carries it deletes it. Its JSON text form is
  // BaseObject's (the name only).
  class LogicalList : public BaseObject {
   public:
    // BaseObject's identity (1002000, "BaseObject"); both lists empty.
    LogicalList();
    ~LogicalList() override;

    // Never null.
    std::shared_ptr<GroupModelList> groups;
    std::shared_ptr<GroupOrderModelList> items;
  };
};

}  // namespace pga

#endif  // PGA_RECORDS_I_GROUP_APPLICATION_H_
