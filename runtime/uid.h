// UId: the address of a component, its identity and the host's event queue
// through which events reach it.
#ifndef PGA_RUNTIME_UID_H_
#define PGA_RUNTIME_UID_H_

#include "runtime/base_object.h"

namespace pga {

class UId : public BaseObject {
 public:
  static constexpr unsigned long long kTypeCode = 2001000;

  // component_id all ones, event_queue_ptr 0; name "UId".
  UId();
  UId(unsigned long long component_id, unsigned long long event_queue_ptr);
  UId(const UId& other);
  // Copies both fields and the name.
  UId& operator=(const UId& other);
  ~UId() override;

  // {"BaseObject": {"name": ...}, "component_id": ..., "event_queue_ptr": ...}
  BlobValue& Serialize(BlobValue& out) const override;
  // component_id: an unsigned 64-bit number or "0x" hexadecimal text, else
  // unchanged. event_queue_ptr: the stored number whatever its kind, or "0x"
  // text; 0 when absent.
  void Deserialize(const BlobValue& in) override;

  // The component's identity.
  unsigned long long component_id;
  // Address of the host's EventQueue of the component; 0 means none.
  unsigned long long event_queue_ptr;
};

// Equal when both fields are equal; the names take no part.
bool operator==(const UId& a, const UId& b);
inline bool operator!=(const UId& a, const UId& b) { return !(a == b); }
// By component_id, then by event_queue_ptr, both unsigned.
bool operator<(const UId& a, const UId& b);

}  // namespace pga

#endif  // PGA_RUNTIME_UID_H_
