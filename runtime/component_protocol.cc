// Component's protocol command file and command registration.
#include <cstdio>
#include <string>

#include "runtime/attribute_files.h"
#include "runtime/component.h"
#include "runtime/exception.h"
#include "runtime/failure_report.h"
#include "runtime/json.h"
namespace pga {
namespace {

using rapidjson::Value;
using String = Platform_Std_Refine::String;

constexpr char kReadProtocolSignature[] = "bool __cdecl Component::ReadProtocolCommand(void)";
constexpr char kRegisterCommandSignature[] =
    "void __cdecl Component::RegisterKestrelCommand(const class Platform_Std_Refine::String "
    "&,const "
    "class Platform_Std_Refine::String &,int)";
constexpr char kMissingField[] = "Cgi or Submenu or Command json field is not found";
constexpr char kWrongKind[] = "Cgi or Submenu or Command json field has a wrong type";

// One command of the file, checked.
struct ProtocolCommand {
  std::string group;
  std::string command;
  int id;
};

// Reads one element of "Protocol". An element without one of the three
// fields, or whose fields are of the wrong kind (Cgi and Submenu strings,
// Command a 32-bit integer), throws kErrorProtocolEntry.
ProtocolCommand ReadCommand(const Value& entry, const char* class_name) {
  const Value* group = pga_json::FindMember(entry, "Cgi");
  const Value* command = pga_json::FindMember(entry, "Submenu");
  const Value* id = pga_json::FindMember(entry, "Command");
  if (group == nullptr || command == nullptr || id == nullptr) {
    std::printf("Protocol description is invalid\n");
    std::fprintf(stderr, "%s\n", kMissingField);
    throw Exception(kErrorProtocolEntry, class_name, kReadProtocolSignature, kMissingField);
  }
  if (!group->IsString() || !command->IsString() || !id->IsInt()) {
    std::printf("Protocol description is invalid\n");
    std::fprintf(stderr, "%s\n", kWrongKind);
    throw Exception(kErrorProtocolEntry, class_name, kReadProtocolSignature, kWrongKind);
  }
  return {pga_json::GetString(*group), pga_json::GetString(*command), id->GetInt()};
}

void CheckProtocolName(const rapidjson::Document& doc, const char* class_name) {
  const Value* name = pga_json::FindMember(doc, "Name");
  if (name == nullptr || !name->IsString()) {
    throw Exception(kErrorMalformedFile, class_name, kReadProtocolSignature,
                    "Protocol context is invalid at \"Name\" field");
  }
  const std::string file_name = pga_json::GetString(*name);
  std::printf("Name is %s\n", file_name.c_str());
  if (file_name != class_name) {
    std::printf("Component Name is different : %s : %s\n", file_name.c_str(), class_name);
    const std::string message = "Component Name is different : " + file_name + " vs " + class_name;
    std::fprintf(stderr, "%s\n", message.c_str());
    throw Exception(kErrorMalformedFile, class_name, kReadProtocolSignature, message);
  }
}

}  // namespace

bool Component::ReadProtocolCommand() {
  return failure_report::ReportAttributeAndRethrow(kReadProtocolSignature, __LINE__, [&] {
    const AttributeFiles files(instanceDescription, GetName(), instanceIndex);
    std::string text;
    if (!AttributeFiles::ReadText(files.Protocol(), text)) return false;
    rapidjson::Document doc;
    AttributeFiles::ParseFailure failure;
    if (!AttributeFiles::Parse(text, doc, failure)) {
      throw Exception(kErrorJsonParse, GetName(), kReadProtocolSignature,
                      std::string("Protocol file parsing failed at ") + GetName());
    }
    CheckProtocolName(doc, GetName());
    const Value* protocol = pga_json::FindMember(doc, "Protocol");
    if (protocol == nullptr) return true;
    if (!protocol->IsArray()) {
      throw Exception(kErrorMalformedFile, GetName(), kReadProtocolSignature,
                      "Protocol is not Json Array Type");
    }
    for (const Value& entry : protocol->GetArray()) {
      const ProtocolCommand command = ReadCommand(entry, GetName());
      std::printf("Inserting Protocol CMD Group : %s.%s -> %d\n", command.group.c_str(),
                  command.command.c_str(), command.id);
      RegisterKestrelCommand(command.group, command.command, command.id);
    }
    return true;
  });
}

void Component::RegisterKestrelCommand(const String& group, const String& command, int id) {
  failure_report::ReportAttributeAndRethrow(kRegisterCommandSignature, __LINE__, [&] {
    String key = group;
    if (!command.empty()) {
      key += ".";
      key += command;
    }
    protocolCommandMap.insert(key, id);
  });
}

}  // namespace pga
