// ComponentInterface::ManifestInstanceDescription: the host's description of
// one component instance. Its texts locate the component's files and its
// index numbers them.
#ifndef PGA_RUNTIME_MANIFEST_INSTANCE_DESCRIPTION_H_
#define PGA_RUNTIME_MANIFEST_INSTANCE_DESCRIPTION_H_

#include <vector>

#include "runtime/base_object.h"
#include "runtime/component_interface.h"
#include "runtime/platform_string.h"

namespace pga {

class ComponentInterface::ManifestInstanceDescription : public BaseObject {
 public:
  // Empty texts and lists, index -1, flag false; name
  // "ManifestInstanceDescription".
  ManifestInstanceDescription();
  ManifestInstanceDescription(const ManifestInstanceDescription& other);
  ManifestInstanceDescription(ManifestInstanceDescription&& other) noexcept;
  ManifestInstanceDescription& operator=(const ManifestInstanceDescription& other);
  ManifestInstanceDescription& operator=(ManifestInstanceDescription&& other) noexcept;
  ~ManifestInstanceDescription() override;

  // Names the component in the messages of its event processing.
  Platform_Std_Refine::String instanceName;
  // Filled by the host; the runtime only stores and copies it.
  Platform_Std_Refine::String secondText;
  // Prefix of the default attribute files and of the protocol command file.
  Platform_Std_Refine::String defaultFilePrefix;
  // Prefix of the component's own attribute file.
  Platform_Std_Refine::String attributeFilePrefix;
  // Filled by the host; the runtime only stores and copies them.
  std::vector<Platform_Std_Refine::String> firstList;
  std::vector<Platform_Std_Refine::String> secondList;
  std::vector<Platform_Std_Refine::String> thirdList;
  // Becomes the component's instanceIndex; -1 forbids writing its attribute
  // file.
  int index;
  bool flag;
};

}  // namespace pga

#endif  // PGA_RUNTIME_MANIFEST_INSTANCE_DESCRIPTION_H_
