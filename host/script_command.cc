#include "host/script_command.h"

#include <exception>
#include <new>
#include <stdexcept>
#include <utility>

#include "group/channel_list_param.h"
#include "group/group_application.h"
#include "group/group_request_param.h"
#include "records/channel_model.h"
#include "runtime/event_type.h"
#include "runtime/json.h"
#include "runtime/platform_string.h"
#include "runtime/vector.h"

namespace pga {

namespace {

// Which payload object a request carries, and the members it is read from.
enum class PayloadKind {
  kNone,        // no payload object
  kRequest,     // a GroupRequestParam without payload
  kGroup,       // a GroupRequestParam holding the GroupModel of "group"
  kMoves,       // a GroupRequestParam holding the GroupOrderModel list of "items"
  kGroupId,     // the String record of "groupId" (absent: no payload)
  kChannels,    // a ChannelListParam holding the ChannelModel list of "channels"
  kChannelIds,  // a Vector of the texts of "channelIds"
};

struct RequestEntry {
  const char* name;
  std::uint32_t event_type;
  PayloadKind payload;
};

constexpr RequestEntry kRequests[] = {
    {"GetLogicalList", eGetLogicalList, PayloadKind::kNone},
    {"GetLogicalGroups", eGetLogicalGroups, PayloadKind::kRequest},
    {"CreateLogicalGroup", eCreateLogicalGroup, PayloadKind::kGroup},
    {"ModifyLogicalGroup", eModifyLogicalGroup, PayloadKind::kGroup},
    {"DeleteLogicalGroup", eDeleteLogicalGroup, PayloadKind::kGroup},
    {"GetLogicalMappings", eGetLogicalMappings, PayloadKind::kRequest},
    {"ModifyLogicalMapping", eModifyLogicalMapping, PayloadKind::kMoves},
    {"GetGroupChannels", eGetGroupChannels, PayloadKind::kGroupId},
    {"ClearLogicalGroups", eClearLogicalGroups, PayloadKind::kNone},
    {"ChannelsAdded", eChannelsAdded, PayloadKind::kChannels},
    {"ChannelsRemoved", eChannelsRemoved, PayloadKind::kChannelIds},
};

// A line that cannot be run; the message becomes the error line.
class ScriptError : public std::runtime_error {
 public:
  explicit ScriptError(const std::string& message) : std::runtime_error(message) {}
};

const RequestEntry* FindRequest(const std::string& name) {
  for (const RequestEntry& entry : kRequests) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

bool IsBlankOrComment(const std::string& line) {
  for (char c : line) {
    if (c == ' ' || c == '\t' || c == '\r') continue;
    return c == '#';
  }
  return true;
}

// New payload object of class T from the runtime allocator under `tag`.
template <typename T>
std::unique_ptr<T> NewPayload(const char* tag) {
  std::unique_ptr<T> object(new (tag) T());
  if (object == nullptr) throw ScriptError(std::string("no storage for the ") + tag + " payload");
  return object;
}

// Member `key` of the command, or null when absent or JSON null.
const rapidjson::Value* Optional(const rapidjson::Value& command, const char* key) {
  const rapidjson::Value* value = pga_json::FindMember(command, key);
  return value == nullptr || value->IsNull() ? nullptr : value;
}

std::uint32_t ReadTableKey(const rapidjson::Value& command) {
  const rapidjson::Value* key = Optional(command, "tableKey");
  if (key == nullptr) return 0;
  if (!key->IsUint()) throw ScriptError("\"tableKey\" must be an unsigned 32-bit integer");
  return key->GetUint();
}

bool ReadBare(const rapidjson::Value& command) {
  const rapidjson::Value* bare = Optional(command, "bare");
  if (bare == nullptr) return false;
  if (!bare->IsBool()) throw ScriptError("\"bare\" must be true or false");
  return bare->GetBool();
}

// Reads every element of the array `key` with `read`, which gets the
// element and its index and appends to the list. An absent or null member
// gives `absent` unchanged.
template <typename List>
std::shared_ptr<List> ReadArray(const rapidjson::Value& command, const char* key,
                                std::shared_ptr<List> absent,
                                void (*read)(const rapidjson::Value&, rapidjson::SizeType, List&)) {
  const rapidjson::Value* array = Optional(command, key);
  if (array == nullptr) return absent;
  if (!array->IsArray()) throw ScriptError(std::string("\"") + key + "\" must be an array");
  auto list = std::make_shared<List>();
  for (rapidjson::SizeType i = 0; i < array->Size(); ++i) read((*array)[i], i, *list);
  return list;
}

std::string ElementError(const char* key, rapidjson::SizeType index, const char* what) {
  return std::string("element ") + std::to_string(index) + " of \"" + key + "\" must be " + what;
}

template <typename Model>
std::shared_ptr<Model> ReadModel(const rapidjson::Value& value) {
  auto model = std::make_shared<Model>();
  model->FromJson(value);
  return model;
}

GroupRequestParam::Payload ReadGroup(const rapidjson::Value& command) {
  const rapidjson::Value* group = Optional(command, "group");
  if (group == nullptr) return std::shared_ptr<GroupModel>();
  if (!group->IsObject()) throw ScriptError("\"group\" must be an object");
  return ReadModel<GroupModel>(*group);
}

void ReadMove(const rapidjson::Value& element, rapidjson::SizeType i, GroupOrderModelList& list) {
  if (!element.IsObject()) throw ScriptError(ElementError("items", i, "an object"));
  list.push_back(ReadModel<GroupOrderModel>(element));
}

GroupRequestParam::Payload ReadMoves(const rapidjson::Value& command) {
  return ReadArray(command, "items", std::shared_ptr<GroupOrderModelList>(), ReadMove);
}

std::unique_ptr<BaseObject> MakeRequest(const rapidjson::Value& command, PayloadKind kind) {
  auto request = NewPayload<GroupRequestParam>("GroupRequestParam");
  request->tableKey = ReadTableKey(command);
  if (kind == PayloadKind::kGroup) request->payload = ReadGroup(command);
  if (kind == PayloadKind::kMoves) request->payload = ReadMoves(command);
  return request;
}

std::unique_ptr<BaseObject> MakeGroupId(const rapidjson::Value& command) {
  const rapidjson::Value* id = Optional(command, "groupId");
  if (id == nullptr) return nullptr;
  if (!id->IsString()) throw ScriptError("\"groupId\" must be a string");
  auto record = NewPayload<Platform_Std_Refine::String>("String");
  *record = Platform_Std_Refine::String(pga_json::GetString(*id));
  return record;
}

void ReadChannel(const rapidjson::Value& element, rapidjson::SizeType i, ChannelModelList& list) {
  if (!element.IsObject()) throw ScriptError(ElementError("channels", i, "an object"));
  list.push_back(ReadModel<ChannelModel>(element));
}

std::unique_ptr<BaseObject> MakeChannels(const rapidjson::Value& command) {
  auto report = NewPayload<ChannelListParam>("ChannelListParam");
  const rapidjson::Value* member = pga_json::FindMember(command, "channels");
  if (member != nullptr && member->IsNull()) {
    // An explicit null sends the record without its list.
    report->channels = nullptr;
    return report;
  }
  report->channels = ReadArray(command, "channels", report->channels, ReadChannel);
  return report;
}

std::unique_ptr<BaseObject> MakeChannelIds(const rapidjson::Value& command) {
  auto ids = NewPayload<Vector<std::string>>("Vector");
  const rapidjson::Value* array = Optional(command, "channelIds");
  if (array == nullptr) return ids;
  if (!array->IsArray()) throw ScriptError("\"channelIds\" must be an array");
  for (rapidjson::SizeType i = 0; i < array->Size(); ++i) {
    if (!(*array)[i].IsString()) throw ScriptError(ElementError("channelIds", i, "a string"));
    ids->push_back(pga_json::GetString((*array)[i]));
  }
  return ids;
}

std::unique_ptr<BaseObject> MakePayload(const rapidjson::Value& command, PayloadKind kind) {
  switch (kind) {
    case PayloadKind::kNone:
      return nullptr;
    case PayloadKind::kRequest:
    case PayloadKind::kGroup:
    case PayloadKind::kMoves:
      return MakeRequest(command, kind);
    case PayloadKind::kGroupId:
      return MakeGroupId(command);
    case PayloadKind::kChannels:
      return MakeChannels(command);
    case PayloadKind::kChannelIds:
      return MakeChannelIds(command);
  }
  return nullptr;
}

ScriptCommand RequestCommand(const rapidjson::Value& command, const rapidjson::Value& name) {
  if (!name.IsString()) throw ScriptError("\"request\" must be a string");
  const std::string text = pga_json::GetString(name);
  const RequestEntry* entry = FindRequest(text);
  if (entry == nullptr) throw ScriptError("unknown request \"" + text + "\"");
  ScriptCommand result;
  result.request = entry->name;
  result.event_type = entry->event_type;
  // Members are checked even for a bare event, so that a typo never passes.
  std::unique_ptr<BaseObject> payload = MakePayload(command, entry->payload);
  if (!ReadBare(command)) result.payload = std::move(payload);
  return result;
}

ScriptCommand PlainCommand(const rapidjson::Value& command, const rapidjson::Value& type) {
  if (!type.IsUint()) throw ScriptError("\"event\" must be an unsigned 32-bit integer");
  ScriptCommand result;
  result.event_type = type.GetUint();
  if (const rapidjson::Value* arguments = Optional(command, "arguments")) {
    if (!arguments->IsInt64()) throw ScriptError("\"arguments\" must be a 64-bit integer");
    result.arguments = arguments->GetInt64();
  }
  // These events carry a pointer to the departing component in their
  // arguments; a number from a script would be followed as a pointer.
  const bool takes_pointer =
      result.event_type == eDeAssociateAReceiver || result.event_type == eDeAssociateATarget;
  if (takes_pointer && result.arguments != 0) {
    throw ScriptError("the arguments of event " + std::to_string(result.event_type) +
                      " name a component in memory; only 0 is accepted");
  }
  return result;
}

ScriptCommand ReadCommand(const std::string& line) {
  rapidjson::Document doc;
  if (!pga_json::Parse(doc, line)) {
    throw ScriptError("not JSON (or nested deeper than " + std::to_string(pga_json::kMaxDepth) +
                      " levels)");
  }
  if (!doc.IsObject()) throw ScriptError("a command must be a JSON object");
  if (const rapidjson::Value* name = pga_json::FindMember(doc, "request")) {
    return RequestCommand(doc, *name);
  }
  if (const rapidjson::Value* type = pga_json::FindMember(doc, "event")) {
    return PlainCommand(doc, *type);
  }
  throw ScriptError("a command needs a \"request\" or an \"event\" member");
}

}  // namespace

std::uint32_t RequestEventType(const std::string& name) {
  const RequestEntry* entry = FindRequest(name);
  return entry != nullptr ? entry->event_type : 0;
}

ParsedLine ParseScriptCommand(const std::string& line) {
  ParsedLine parsed;
  if (IsBlankOrComment(line)) return parsed;
  try {
    parsed.command = ReadCommand(line);
    parsed.kind = ParsedLine::Kind::kCommand;
  } catch (const ScriptError& e) {
    parsed.kind = ParsedLine::Kind::kError;
    parsed.error = e.what();
  } catch (const std::bad_alloc&) {
    parsed.kind = ParsedLine::Kind::kError;
    parsed.error = "out of memory while reading the command";
  } catch (const std::exception& e) {
    // A record reader that met something it could not handle.
    parsed.kind = ParsedLine::Kind::kError;
    parsed.error = std::string("cannot read the command: ") + e.what();
  }
  return parsed;
}

}  // namespace pga
