// The device dispatcher's side of the platform interface, as far as this
// library uses it: the failure answer to a request.
#ifndef PGA_RECORDS_I_DEVICE_DISPATCHER_H_
#define PGA_RECORDS_I_DEVICE_DISPATCHER_H_

#include <cstdint>
#include <string>

#include "runtime/base_object.h"
#include "runtime/blob_value.h"

namespace pga {

class IDeviceDispatcher {
 public:
  // The answer a handler leaves in a request event that it refused (code
  // 4000000) or that the store could not apply (code 5000000). Allocated
  // with `new ("ResultParam") ResultParam` through the host's allocator; the
  // event that carries it deletes it.
  class ResultParam : public BaseObject {
   public:
    static constexpr std::uint32_t kRefused = 4000000;
    static constexpr std::uint32_t kStoreFailure = 5000000;

    // Type code 1002000, name "ResultParam", contentType "application/json".
    ResultParam();
    ~ResultParam() override;

    // {"code":<code>,"message":<message>}, compact, in storage from the
    // allocator under the name "ResultParam" (kind JSON text). The caller
    // releases it with BaseObject::ReleaseText. When the allocator gives
    // nothing the failure line is printed and the cell holds null text of
    // size 0.
    virtual BlobValue ToJsonText() const;
    // Nothing to prepare in this record.
    virtual void Prepare();
    // No part of this record is awaited; always false.
    virtual bool IsPending() const;

    bool succeeded = false;
    std::uint32_t code = 0;
    std::string contentType;
    std::string message;
    // Carried for other components of the platform; not used here and not
    // part of the text form.
    std::string extra_text_2;
    std::string extra_text_3;
  };
};

}  // namespace pga

#endif  // PGA_RECORDS_I_DEVICE_DISPATCHER_H_
