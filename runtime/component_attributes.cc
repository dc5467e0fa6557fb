// Component's attribute files: reading the own or default file into the
// attribute map, writing the map back, and reading a file's version text.
#include <any>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/attribute_files.h"
#include "runtime/attribute_trait.h"
#include "runtime/attribute_type_code.h"
#include "runtime/attribute_value.h"
#include "runtime/component.h"
#include "runtime/exception.h"
#include "runtime/failure_report.h"
#include "runtime/json.h"
#include "runtime/serializable.h"
namespace pga {
namespace {

using rapidjson::Value;
using Allocator = rapidjson::Document::AllocatorType;
using String = Platform_Std_Refine::String;
using AttributeMap = Map<String, AttributeItem>;

constexpr char kReadSettingFileSignature[] =
    "bool __cdecl Component::ReadSettingFile(class Platform_Std_Refine::String,const char *,class "
    "Map<class Platform_Std_Refine::String,struct AttributeItem,struct std::less<class "
    "Platform_Std_Refine::String> > &,bool)";
constexpr char kWriteAttributesSignature[] = "void __cdecl Component::WriteAttributes(bool)";
constexpr char kInvalidDescription[] = "ExteranlKey or InternalKey or TypeCode is invalid";
// Trace lines of writing a list; the two digits tell which case was met.
constexpr char kListTrace[] = "NTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTPNTP";

// Where an exception of this file is raised: the component's name and the
// operation's signature text.
struct Origin {
  const char* class_name;
  const char* signature;
};

[[noreturn]] void Fail(const Origin& origin, int id, const std::string& message) {
  throw Exception(id, origin.class_name, origin.signature, message);
}

// Fail, after writing the message to standard error.
[[noreturn]] void FailLoudly(const Origin& origin, int id, const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  Fail(origin, id, message);
}

// Version numbers of the component, compared with an attribute file's.
struct ComponentVersion {
  unsigned major;
  unsigned minor;
  unsigned patch;
  const std::string& extra;
};

// Scans `text` with "%u.%u.%u_%s" and answers how many of the four fields
// were read. The scanner's own rules apply: a sign in front of a number is
// accepted ("-1" reads as UINT_MAX), blanks before numbers are skipped, and
// the text ends at its first NUL byte.
int ScanVersion(const std::string& text, unsigned* major, unsigned* minor, unsigned* patch,
                std::string* extra) {
  // "%s" reads at most the rest of the text.
  std::vector<char> word(text.size() + 1, '\0');
  const int fields = std::sscanf(text.c_str(), "%u.%u.%u_%s", major, minor, patch, word.data());
  if (fields == 4) *extra = word.data();
  return fields;
}

void PrintComponentVersion(const char* class_name, const ComponentVersion& version) {
  const std::string stars(126, '*');
  std::printf("%s\n", stars.c_str());
  std::printf("Class Name    : %s\n", class_name);
  std::printf("Major Version : %u\n", version.major);
  std::printf("Minor Version : %u\n", version.minor);
  std::printf("Patch Version : %u\n", version.patch);
  if (!version.extra.empty()) std::printf("Etc Version   : %s\n", version.extra.c_str());
  std::printf("%s\n", stars.c_str());
}

// Compares the file's "Version" with the component's and prints the
// verdict. Only another major version stops the reading.
void CheckVersion(const Value& member, const std::string& path, const ComponentVersion& own,
                  const Origin& origin) {
  PrintComponentVersion(origin.class_name, own);
  if (!member.IsString()) Fail(origin, kErrorMalformedFile, "Version field doesn't have String.");
  unsigned major = 0, minor = 0, patch = 0;
  std::string extra;
  const int fields = ScanVersion(pga_json::GetString(member), &major, &minor, &patch, &extra);
  if (fields != 3 && fields != 4) {
    Fail(origin, kErrorMalformedFile, "Version field string doesn't have proper format.");
  }
  std::printf("Attribute Version\n");
  std::printf("Major : %u\n", major);
  std::printf("Minor : %u\n", minor);
  std::printf("Patch : %u\n", patch);
  const char* file = path.c_str();
  if (major != own.major) {
    std::printf("Attribute file %s is maybe not compatible!\n", file);
    Fail(origin, kErrorAttributeMajorVersion,
         "Attribute file version Major number is different.at , " + path);
  }
  if (minor > own.minor) {
    std::printf("attribute file version is newer!\n");
    std::printf("Attribute file %s is maybe not compatible!\n", file);
  } else if (minor == own.minor) {
    const char* verdict = patch > own.patch    ? "newer than"
                          : patch == own.patch ? "same with"
                                               : "older than";
    std::printf("Attribute file version of %s is %s component %s's !\n", file, verdict,
                origin.class_name);
    std::printf("Attribute file %s is compatible!\n", file);
  } else {
    std::printf("Attribute file %s is maybe compatible!\n", file);
  }
}

void CheckName(const rapidjson::Document& doc, const Origin& origin) {
  const Value* name = pga_json::FindMember(doc, "Name");
  if (name == nullptr || !name->IsString()) {
    Fail(origin, kErrorMalformedFile, "Attribute context is invalid at \"Name\" field");
  }
  const std::string file_name = pga_json::GetString(*name);
  if (file_name != origin.class_name) {
    std::printf("Component Name is different : %s : %s\n", file_name.c_str(), origin.class_name);
    Fail(origin, kErrorMalformedFile,
         "Component Name is different : " + file_name + " vs " + origin.class_name);
  }
}

void ReadTraits(const Value& traits, const std::string& key, AttributeItem& item,
                const Origin& origin) {
  if (!traits.IsArray()) {
    std::printf("Traits field is not json array type!\n");
    return;
  }
  for (const Value& trait : traits.GetArray()) {
    if (!trait.IsObject()) continue;
    for (const auto& member : trait.GetObject()) {
      std::any value;
      if (!AttributeTrait::FromJson(member.value, value)) {
        std::printf("Unknown trait!\n");
        continue;
      }
      const std::string name = pga_json::GetString(member.name);
      item.traits.insert(String(name), value);
      const std::string line = std::string(origin.class_name) + " " + key + " Trait  -> (" + name +
                               ":" + AttributeTrait::ToText(value) + ")\n";
      std::printf("%s", line.c_str());
    }
  }
}

// Reads one element of the attributes array into the registered item of
// its "ExternalKey".
void ReadEntry(const Value& entry, AttributeMap& items, const Origin& origin) {
  const Value* key = pga_json::FindMember(entry, "ExternalKey");
  const Value* type = pga_json::FindMember(entry, "TypeCode");
  if (key == nullptr || !key->IsString() || type == nullptr || !type->IsString() ||
      pga_json::FindMember(entry, "InternalKey") != nullptr) {
    std::printf("Attribute description is invalid\n");
    FailLoudly(origin, kErrorMalformedFile, kInvalidDescription);
  }
  const AttributeTypeCode code = AttributeTypeCode::Parse(pga_json::GetString(*type));
  const std::string key_text = pga_json::GetString(*key);
  const auto found = items.find(String(key_text));
  if (found == items.end()) {
    Fail(origin, kErrorAttributeNotRegistered,
         "AttributItem External key " + key_text + " is not found.");
  }
  AttributeItem& item = found->second;
  if (item.count != code.count || item.typeCode != code.letter) {
    std::printf("Error Handling Point #%d\n", __LINE__);
    std::printf(">>>>>>>>%d=%d:%c=%c:%c=%c\n", item.count, code.count, item.typeCode, code.letter,
                item.subTypeCode, code.subTypeCode);
    FailLoudly(origin, kErrorAttributeMismatch,
               "AttributeItem is different " + std::to_string(item.count) + ":" + item.typeCode +
                   " != " + std::to_string(code.count) + ":" + code.letter);
  }
  if (!AttributeValue::IsKnownType(code.letter)) {
    FailLoudly(origin, kErrorAttributeMismatch,
               "Invalid Type Code " + std::to_string(static_cast<unsigned char>(code.letter)) +
                   " is not found.");
  }
  const Value* value = pga_json::FindMember(entry, "Value");
  if (code.letter != 'v' && code.letter != 'm' && !AttributeValue::IsBound(item)) {
    Fail(origin, kErrorAttributeUnbound, "The variable address for " + key_text + " Not found");
  }
  // 'm' carries no value; an unbound 'v' is skipped silently.
  if (value != nullptr && code.letter != 'm') AttributeValue::Read(item, *value);
  if (const Value* traits = pga_json::FindMember(entry, "Traits")) {
    ReadTraits(*traits, key_text, item, origin);
  }
}

Value StringValue(const std::string& text, Allocator& allocator) {
  return Value(text.data(), static_cast<rapidjson::SizeType>(text.size()), allocator);
}

// The "Value" of a list item, or null (with the trace line saying why) when
// it cannot be written.
Value ListValue(const AttributeItem& item, Allocator& allocator) {
  if (item.count != 1) {
    std::printf("%s05\n", kListTrace);
  } else if (!AttributeValue::IsBound(item)) {
    std::printf("%s04\n", kListTrace);
  } else if (item.subTypeCode != 's') {
    std::printf("sub_type code =  %c\n", item.subTypeCode);
    std::printf("%s03\n", kListTrace);
  } else {
    std::printf("%s02\n", kListTrace);
    return AttributeValue::Write(item, allocator);
  }
  return Value();
}

Value TraitsValue(const AttributeItem& item, const std::string& key, const Origin& origin,
                  Allocator& allocator) {
  Value traits(rapidjson::kArrayType);
  for (const auto& [name, value] : item.traits) {
    Value written;
    if (!AttributeTrait::ToJson(value, written, allocator)) {
      std::printf("Unknown trait!\n");
      continue;
    }
    Value trait(rapidjson::kObjectType);
    trait.AddMember(StringValue(name.str(), allocator), written, allocator);
    traits.PushBack(trait, allocator);
    const std::string line = std::string(origin.class_name) + " " + key + " Trait  <- (" +
                             name.str() + ":" + AttributeTrait::ToText(value) + ")\n";
    std::printf("%s", line.c_str());
  }
  return traits;
}

// One element of the attributes array written from `item`.
Value WriteEntry(const std::string& key, const AttributeItem& item, const Origin& origin,
                 Allocator& allocator) {
  Value entry(rapidjson::kObjectType);
  entry.AddMember("ExternalKey", StringValue(key, allocator), allocator);
  entry.AddMember("TypeCode",
                  StringValue(AttributeTypeCode::Format(item.count, item.typeCode), allocator),
                  allocator);
  if (item.typeCode == 'v') {
    Value list = ListValue(item, allocator);
    if (!list.IsNull()) entry.AddMember("Value", list, allocator);
  } else {
    if (item.typeCode == 'm' || !AttributeValue::IsKnownType(item.typeCode)) {
      FailLoudly(origin, kErrorAttributeMismatch,
                 std::string("Invalid TypeCode : ") + item.typeCode);
    }
    if (!AttributeValue::IsBound(item)) {
      Fail(origin, kErrorAttributeUnbound, "The variable address for " + key + " Not found");
    }
    entry.AddMember("Value", AttributeValue::Write(item, allocator), allocator);
  }
  if (!item.traits.empty()) {
    entry.AddMember("Traits", TraitsValue(item, key, origin, allocator), allocator);
  }
  return entry;
}

}  // namespace

bool Component::ReadAttributes(bool fromDefault) {
  const AttributeFiles files(instanceDescription, GetName(), instanceIndex);
  std::string path = fromDefault ? files.FirstDefault() : files.Own();
  if (fromDefault) std::printf("Trying default file #1: %s\n", path.c_str());
  bool ok = ReadSettingFile(path, "Attributes", attributeMap, fromDefault);
  if (fromDefault && !ok) {
    path = files.SecondDefault();
    std::printf("Trying default file #2: %s\n", path.c_str());
    ok = ReadSettingFile(path, "Attributes", attributeMap, fromDefault);
    if (!ok) std::printf("%s file not found\n", path.c_str());
  }
  return ok;
}

bool Component::ReadDefaultAttributes(std::function<bool(bool)> reader) {
  return reader ? reader(true) : false;
}

bool Component::ReadSettingFile(String path, const char* section, AttributeMap& /*items*/,
                                bool /*flag*/) {
  return failure_report::ReportAttributeAndRethrow(kReadSettingFileSignature, __LINE__, [&] {
    const Origin origin{GetName(), kReadSettingFileSignature};
    std::string text;
    if (!AttributeFiles::ReadText(path.str(), text)) return false;
    rapidjson::Document doc;
    AttributeFiles::ParseFailure failure;
    if (!AttributeFiles::Parse(text, doc, failure)) {
      FailLoudly(origin, kErrorJsonParse,
                 "Attribute file parsing failed : JSON parse error: " + failure.message + "(" +
                     std::to_string(failure.offset) + ") -> " + GetName() + " at " + path.str());
    }
    if (const Value* version = pga_json::FindMember(doc, "Version")) {
      const ComponentVersion own{versionMajor, versionMinor, versionPatch, versionExtra};
      CheckVersion(*version, path.str(), own, origin);
    }
    CheckName(doc, origin);
    const std::string section_name = section != nullptr ? section : "";
    const Value* entries = pga_json::FindMember(doc, section_name.c_str());
    if (entries == nullptr) {
      Fail(origin, kErrorMalformedFile,
           "Attribute Field is not found at " + section_name + " field");
    }
    if (!entries->IsArray()) Fail(origin, kErrorMalformedFile, "Attribute is not Json Array Type");
    for (const Value& entry : entries->GetArray()) ReadEntry(entry, attributeMap, origin);
    return true;
  });
}

void Component::WriteAttributes(bool toDefault) {
  failure_report::ReportAttributeAndRethrow(kWriteAttributesSignature, __LINE__, [&] {
    const Origin origin{GetName(), kWriteAttributesSignature};
    if (instanceIndex == -1) {
      FailLoudly(origin, kErrorNoInstanceIndex,
                 std::string(GetName()) + "Component Channel is not Set!");
    }
    rapidjson::Document doc(rapidjson::kObjectType);
    Allocator& allocator = doc.GetAllocator();
    doc.AddMember("Name", StringValue(GetName(), allocator), allocator);
    doc.AddMember("Version", StringValue(componentVersion, allocator), allocator);
    Value entries(rapidjson::kArrayType);
    for (const auto& [key, item] : attributeMap) {
      entries.PushBack(WriteEntry(key.str(), item, origin, allocator), allocator);
    }
    doc.AddMember("Attributes", entries, allocator);
    std::string text;
    if (!pga_json::WriteCompact(doc, text)) return;
    const AttributeFiles files(instanceDescription, GetName(), instanceIndex);
    // A file that cannot be replaced keeps its old content; that is not an
    // error for the component.
    Serializable::ReplaceFile(toDefault ? files.ChannelDefault() : files.Own(), text);
  });
}

bool Component::ReadVersion(const String& path, String& version) {
  std::ifstream file(path.str(), std::ios::binary);
  if (!file.is_open()) return false;
  // The head of the file up to the end of its first member.
  std::string head;
  char c = 0;
  while (head.size() < 255 && file.get(c) && c != ',') head.push_back(c);
  if (head.size() < 7 || head.find("Version") == std::string::npos) return false;
  const std::size_t colon = head.find(':');
  if (colon == std::string::npos) return false;
  const std::size_t open = head.find('"', colon);
  if (open == std::string::npos) return false;
  const std::size_t close = head.find('"', open + 1);
  if (close == std::string::npos) return false;
  version = head.substr(open + 1, close - open - 1);
  return true;
}

}  // namespace pga
