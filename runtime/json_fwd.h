// The rapidjson names that the record declarations use, declared without
// rapidjson itself: the headers a host compiles against must not need it.
// Only the .cc files that read or write JSON include runtime/json.h.
//
// rapidjson declares these templates in the same way, without default
// arguments, and adds the defaults at their definitions; so this header may
// come before or after rapidjson's own headers, and the aliases name the
// same types as rapidjson::Value and rapidjson::Document::AllocatorType.
#ifndef PGA_RUNTIME_JSON_FWD_H_
#define PGA_RUNTIME_JSON_FWD_H_

namespace rapidjson {

template <typename CharType>
struct UTF8;
class CrtAllocator;
template <typename BaseAllocator>
class MemoryPoolAllocator;
template <typename Encoding, typename Allocator>
class GenericValue;

typedef GenericValue<UTF8<char>, MemoryPoolAllocator<CrtAllocator> > Value;

}  // namespace rapidjson

namespace pga {

namespace pga_json {

// The allocator of a rapidjson document, in which values and their strings
// live.
using Allocator = rapidjson::MemoryPoolAllocator<rapidjson::CrtAllocator>;

}  // namespace pga_json

}  // namespace pga

#endif  // PGA_RUNTIME_JSON_FWD_H_
