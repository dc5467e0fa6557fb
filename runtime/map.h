// Map<K, V, Less>: a runtime object holding one std::map. Its JSON form is
// the plain BaseObject form (the name only); the entries are not written.
#ifndef PGA_RUNTIME_MAP_H_
#define PGA_RUNTIME_MAP_H_

#include <cstddef>
#include <functional>
#include <map>
#include <utility>

#include "runtime/container.h"

namespace pga {

template <typename K, typename V, typename Less = std::less<K>>
class Map : public Container {
 public:
  static constexpr unsigned long long kTypeCode = 1007000;

  using map_type = std::map<K, V, Less>;
  using key_type = K;
  using mapped_type = V;
  using iterator = typename map_type::iterator;
  using const_iterator = typename map_type::const_iterator;

  // Type 1007000, name "Map".
  Map() : Container(kTypeCode, "Map") {}
  // Type 1007000 under another name ("ReceiversMap", "TargetMap").
  explicit Map(const char* object_name) : Container(kTypeCode, object_name) {}
  Map(unsigned long long type_code, const char* object_name)
      : Container(type_code, object_name) {}
  Map(const Map& other) = default;
  Map& operator=(const Map& other) = default;
  // Destroys the entries. Pointer values are not deleted: whoever put them in
  // owns them.
  ~Map() override = default;

  map_type& elements() { return elements_; }
  const map_type& elements() const { return elements_; }

  std::size_t size() const { return elements_.size(); }
  bool empty() const { return elements_.empty(); }
  void clear() { elements_.clear(); }
  iterator find(const K& key) { return elements_.find(key); }
  const_iterator find(const K& key) const { return elements_.find(key); }
  std::size_t count(const K& key) const { return elements_.count(key); }
  // Inserts unless `key` is present; an existing entry is kept.
  std::pair<iterator, bool> insert(const K& key, const V& value) {
    return elements_.emplace(key, value);
  }
  V& operator[](const K& key) { return elements_[key]; }
  std::size_t erase(const K& key) { return elements_.erase(key); }
  iterator erase(const_iterator position) { return elements_.erase(position); }
  iterator begin() { return elements_.begin(); }
  iterator end() { return elements_.end(); }
  const_iterator begin() const { return elements_.begin(); }
  const_iterator end() const { return elements_.end(); }

 private:
  map_type elements_;
};

}  // namespace pga

#endif  // PGA_RUNTIME_MAP_H_
