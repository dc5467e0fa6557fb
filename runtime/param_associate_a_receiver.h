// ComponentInterface::ParamAssociateAReceiver: the record of a receiver
// association event, a receiver name and the receiving component's UId.
#ifndef PGA_RUNTIME_PARAM_ASSOCIATE_A_RECEIVER_H_
#define PGA_RUNTIME_PARAM_ASSOCIATE_A_RECEIVER_H_

#include "runtime/base_object.h"
#include "runtime/component_interface.h"
#include "runtime/platform_string.h"
#include "runtime/uid.h"

namespace pga {

class ComponentInterface::ParamAssociateAReceiver : public BaseObject {
 public:
  // Empty name, default UId; name "ParamAssociateAReceiver".
  ParamAssociateAReceiver();
  ParamAssociateAReceiver(const Platform_Std_Refine::String& name, const UId& uid);
  ParamAssociateAReceiver(const ParamAssociateAReceiver& other);
  ~ParamAssociateAReceiver() override;

  // A copy allocated through the runtime allocator under the tag
  // "ParamAssociateAReceiver", or null. The caller owns it.
  BaseObject* Clone() const override;
  // {"BaseObject": {"name": ...}, "receiver_name": ..., "receiver_component_uid":
  // <UId form>}
  BlobValue& Serialize(BlobValue& out) const override;
  // Reads the form back (a byte-order mark is skipped); members that are
  // absent or of the wrong kind leave their fields unchanged.
  void Deserialize(const BlobValue& in) override;

  Platform_Std_Refine::String receiver_name;
  UId receiver_component_uid;
};

}  // namespace pga

#endif  // PGA_RUNTIME_PARAM_ASSOCIATE_A_RECEIVER_H_
