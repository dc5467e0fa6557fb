// ComponentInterface::ParamAssociateATarget: the record of a target
// association event, a group name, the group's member components and their
// names (carried, not used by the runtime).
#ifndef PGA_RUNTIME_PARAM_ASSOCIATE_A_TARGET_H_
#define PGA_RUNTIME_PARAM_ASSOCIATE_A_TARGET_H_

#include "runtime/base_object.h"
#include "runtime/component_interface.h"
#include "runtime/map.h"
#include "runtime/platform_string.h"
#include "runtime/uid.h"
#include "runtime/vector.h"

namespace pga {

class ComponentInterface::ParamAssociateATarget : public BaseObject {
 public:
  // Empty group name, vector and map; name "ParamAssociateATarget".
  ParamAssociateATarget();
  ParamAssociateATarget(const ParamAssociateATarget& other);
  ~ParamAssociateATarget() override;

  // {"BaseObject": {"name": ...}, "group_name": ..., "target_components_uid_vector":
  // [<UId form>...], "target_component_name_map": [{"TargetUId": <UId form>,
  // "TargetName": ...}...]}
  BlobValue& Serialize(BlobValue& out) const override;
  // Reads the form back (a byte-order mark is skipped). A member that is
  // absent or of the wrong kind leaves its field unchanged; an array replaces
  // the field's content, skipping elements that are not objects.
  void Deserialize(const BlobValue& in) override;

  Platform_Std_Refine::String group_name;
  Vector<UId> target_components_uid_vector;
  Map<UId, Platform_Std_Refine::String> target_component_name_map;
};

}  // namespace pga

#endif  // PGA_RUNTIME_PARAM_ASSOCIATE_A_TARGET_H_
