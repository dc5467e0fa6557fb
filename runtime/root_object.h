// The root of every runtime object: a numeric type code, a short name and
// the object's storage size.
#ifndef PGA_RUNTIME_ROOT_OBJECT_H_
#define PGA_RUNTIME_ROOT_OBJECT_H_

namespace pga {

class RootObject {
 public:
  // Longest name kept; longer names are cut to their first kMaxNameLength
  // bytes.
  static constexpr int kMaxNameLength = 31;

  // Sets the type code and the name (cut to kMaxNameLength; null counts as
  // empty), draws a fresh instance tag and clears the storage size.
  RootObject(unsigned long long type_code, const char* name);
  // Copies type code, name and storage size; draws a fresh instance tag.
  RootObject(const RootObject& other);
  // Copies type code and name. The instance tag and the storage size stay:
  // they describe this object, not the one it takes its value from.
  RootObject& operator=(const RootObject& other);

  // Virtual slots 1 to 3 of every runtime object.
  virtual ~RootObject();
  virtual bool Initialize();  // returns true
  virtual bool Finalize();    // returns true

  long long GetInstanceTag() const { return instanceTag; }
  unsigned long long GetTypeCode() const { return typeCode; }
  // The zero-terminated name buffer.
  const char* GetName() const { return name; }
  void SetName(const char* text);
  // Storage size in bytes of an object created through its class's
  // operator new; 0 for members and local objects.
  unsigned long long GetSize() const { return allocSize; }
  void SetSize(unsigned long long size) { allocSize = size; }

 protected:
  long long instanceTag;
  unsigned long long typeCode;
  char name[kMaxNameLength + 1];
  unsigned long long allocSize;
};

}  // namespace pga

#endif  // PGA_RUNTIME_ROOT_OBJECT_H_
