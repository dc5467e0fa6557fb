// ComponentInterface: the scope of the records that the host and the
// components exchange about components. It has no operations of its own.
#ifndef PGA_RUNTIME_COMPONENT_INTERFACE_H_
#define PGA_RUNTIME_COMPONENT_INTERFACE_H_

namespace pga {

class ComponentInterface {
 public:
  // Defined in manifest_instance_description.h.
  class ManifestInstanceDescription;
  // Defined in param_associate_a_receiver.h.
  class ParamAssociateAReceiver;
  // Defined in param_associate_a_target.h.
  class ParamAssociateATarget;
};

}  // namespace pga

#endif  // PGA_RUNTIME_COMPONENT_INTERFACE_H_
