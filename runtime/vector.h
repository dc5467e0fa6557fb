// Vector<T>: a runtime object holding one std::vector<T>. Its JSON form is
// the plain BaseObject form (the name only); the elements are not written.
#ifndef PGA_RUNTIME_VECTOR_H_
#define PGA_RUNTIME_VECTOR_H_

#include <cstddef>
#include <utility>
#include <vector>

#include "runtime/container.h"

namespace pga {

template <typename T>
class Vector : public Container {
 public:
  static constexpr unsigned long long kTypeCode = 1006000;

  using value_type = T;
  using iterator = typename std::vector<T>::iterator;
  using const_iterator = typename std::vector<T>::const_iterator;

  // Type 1006000, name "Vector".
  Vector() : Container(kTypeCode, "Vector") {}
  Vector(unsigned long long type_code, const char* object_name)
      : Container(type_code, object_name) {}
  // Copies the elements; the copy draws a fresh instance tag.
  Vector(const Vector& other) = default;
  Vector& operator=(const Vector& other) = default;
  // Destroys the elements. Pointer elements are not deleted: whoever put them
  // in owns them.
  ~Vector() override = default;

  std::vector<T>& elements() { return elements_; }
  const std::vector<T>& elements() const { return elements_; }

  std::size_t size() const { return elements_.size(); }
  bool empty() const { return elements_.empty(); }
  void push_back(const T& value) { elements_.push_back(value); }
  void push_back(T&& value) { elements_.push_back(std::move(value)); }
  void clear() { elements_.clear(); }
  T& operator[](std::size_t index) { return elements_[index]; }
  const T& operator[](std::size_t index) const { return elements_[index]; }
  iterator begin() { return elements_.begin(); }
  iterator end() { return elements_.end(); }
  const_iterator begin() const { return elements_.begin(); }
  const_iterator end() const { return elements_.end(); }
  iterator erase(const_iterator position) { return elements_.erase(position); }

 private:
  std::vector<T> elements_;
};

}  // namespace pga

#endif  // PGA_RUNTIME_VECTOR_H_
