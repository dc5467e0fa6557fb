// JSON helpers shared by the runtime's object classes: the common
// {"BaseObject": {"name": ...}} header, the lenient integer readers, the UId
// form, and turning a document into serialised text. Internal to the
// runtime; the public headers stay free of rapidjson.
#ifndef PGA_RUNTIME_OBJECT_JSON_H_
#define PGA_RUNTIME_OBJECT_JSON_H_

#include <cstdint>
#include <string>

#include "runtime/blob_value.h"
#include "runtime/json.h"
#include "runtime/platform_string.h"

namespace pga {

class RootObject;
class UId;

namespace object_json {

using Allocator = rapidjson::Document::AllocatorType;

// Parses the JSON text of `in` into `doc`, skipping a UTF-8 byte-order mark.
// Anything that is not a JSON object (a cell of another kind, null text,
// malformed text, another top-level kind) leaves `doc` an empty object.
void ParseCell(const BlobValue& in, rapidjson::Document& doc);

// Writes `doc` compactly into storage from the runtime allocator under
// `tag` and points `out` at it (kind kBlobJson, size = length). When the
// allocator gives nothing, prints the failure line and sets `out` to null
// text of size 0.
void WriteCell(const rapidjson::Value& doc, const char* tag, BlobValue& out);

// ParseCell, then the name of `object` from the object under "BaseObject":
// the common start of reading every derived class's form.
void ParseDerivedCell(const BlobValue& in, rapidjson::Document& doc, RootObject& object);

// {"name": <name>} as written by BaseObject.
rapidjson::Value NameObject(const char* name, Allocator& allocator);

// Sets the name of `object` from the string member "name" of `holder`; an
// absent member, a non-string member or a holder that is not an object
// gives an empty name.
void ReadName(const rapidjson::Value& holder, RootObject& object);

// The object under "BaseObject" in `root`, or an empty object when that
// member is absent or not an object.
const rapidjson::Value& BaseMember(const rapidjson::Value& root);

// Integer readers of UId and Event. `value` may be null (member absent), in
// which case nothing changes and false is returned. A JSON number of the
// field's kind is taken (32-bit fields take signed and unsigned 32-bit
// numbers alike, since the writers put some unsigned fields as signed); a
// string starting with "0x" is read as hexadecimal at the field's width.
// Anything else leaves the field unchanged. Returns true when set.
bool ReadUInt32(const rapidjson::Value* value, std::uint32_t& field);
bool ReadInt32(const rapidjson::Value* value, std::int32_t& field);
bool ReadUInt64(const rapidjson::Value* value, unsigned long long& field);
bool ReadInt64(const rapidjson::Value* value, long long& field);

// Reads the text member `key` of `root` through the working text shared by
// a record's text members: a string member replaces `working`; `field`
// then receives `working`, so an absent or non-string member repeats the
// text read before it.
void ReadWorkingText(const rapidjson::Value& root, const char* key, std::string& working,
                     Platform_Std_Refine::String& field);

// Value of the hexadecimal text after "0x": 0-9, a-f and A-F are digits,
// any other character counts as 0; accumulated modulo 2^64.
std::uint64_t HexValue(const std::string& text);

// The UId JSON form: {"BaseObject": {"name": ...}, "component_id": ...,
// "event_queue_ptr": ...}.
rapidjson::Value UIdObject(const UId& uid, Allocator& allocator);
// Reads a UId from its JSON form: the name from "BaseObject", component_id
// (absent: unchanged) and event_queue_ptr (the raw 64-bit number whatever
// its JSON number kind; absent: 0). A `value` that is not an object reads
// as an empty object.
void ReadUIdObject(const rapidjson::Value& value, UId& uid);

}  // namespace object_json

}  // namespace pga

#endif  // PGA_RUNTIME_OBJECT_JSON_H_
