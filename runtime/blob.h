// Blob: the holder of an event's payload, a pointer to an object or to JSON
// text. A Blob does not own its payload: copying copies the pointer and
// destroying leaves the payload alone (the Event that holds the Blob owns
// it).
#ifndef PGA_RUNTIME_BLOB_H_
#define PGA_RUNTIME_BLOB_H_

#include <cstddef>
#include <cstdint>

#include "runtime/base_object.h"
#include "runtime/blob_value.h"

namespace pga {

class Blob : public BaseObject {
 public:
  static constexpr unsigned long long kTypeCode = 2014000;

  // Null object pointer, kind kBlobObject, size 0; name "Blob".
  Blob();
  Blob(const Blob& other);
  Blob& operator=(const Blob& other);
  ~Blob() override;

  // Virtual slots 7 to 15.
  // The pointer whatever its kind; null when the kind is neither object nor
  // JSON text.
  virtual void* GetValue() const;
  // The pointer if it is an object, else null.
  virtual BaseObject* GetObject() const;
  // The pointer if it is JSON text, else null.
  virtual char* GetJson() const;
  // Takes pointer and kind; a kind other than object or JSON text leaves the
  // blob unchanged. The size stays as it was. For kind kBlobObject `value`
  // must be a BaseObject* converted to void*; pass objects through the
  // overload below, which converts derived pointers correctly.
  virtual void SetValue(void* value, std::uint8_t kind);
  virtual void SetObject(BaseObject* object);
  virtual void SetJson(char* text);
  virtual unsigned long long GetSize() const;
  virtual void SetSize(unsigned long long size);
  // True when the kind is object or JSON text, also for a null pointer.
  virtual bool HasValue() const;

  void SetValue(BaseObject* object, std::uint8_t kind) {
    SetValue(static_cast<void*>(object), kind);
  }
  void SetValue(std::nullptr_t, std::uint8_t kind) { SetValue(static_cast<void*>(nullptr), kind); }

  std::uint8_t GetKind() const { return cell_.kind; }
  const BlobValue& cell() const { return cell_; }

 private:
  BlobValue cell_;
};

}  // namespace pga

#endif  // PGA_RUNTIME_BLOB_H_
