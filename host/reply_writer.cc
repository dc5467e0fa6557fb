#include "host/reply_writer.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "records/group_model.h"
#include "group/group_request_param.h"
#include "records/i_device_dispatcher.h"
#include "records/i_device_listener.h"
#include "records/i_group_application.h"
#include "runtime/json.h"
#include "runtime/vector.h"

namespace pga {

namespace {

using Allocator = rapidjson::Document::AllocatorType;

rapidjson::Value Text(const std::string& text, Allocator& allocator) {
  return rapidjson::Value(text.data(), static_cast<rapidjson::SizeType>(text.size()), allocator);
}

rapidjson::Value ModelObject(const BaseModel* model, Allocator& allocator) {
  if (model == nullptr) return rapidjson::Value(rapidjson::kNullType);
  rapidjson::Value object(rapidjson::kObjectType);
  model->ToJson(object, allocator);
  return object;
}

template <typename List>
rapidjson::Value ModelArray(const std::shared_ptr<List>& list, Allocator& allocator) {
  if (list == nullptr) return rapidjson::Value(rapidjson::kNullType);
  rapidjson::Value array(rapidjson::kArrayType);
  for (const auto& model : *list) array.PushBack(ModelObject(model.get(), allocator), allocator);
  return array;
}

rapidjson::Value PayloadValue(const GroupRequestParam::Payload& payload, Allocator& allocator) {
  struct Visitor {
    Allocator& allocator;
    rapidjson::Value operator()(std::monostate) const {
      return rapidjson::Value(rapidjson::kNullType);
    }
    rapidjson::Value operator()(const std::shared_ptr<GroupModel>& group) const {
      return ModelObject(group.get(), allocator);
    }
    rapidjson::Value operator()(const std::shared_ptr<GroupModelList>& groups) const {
      return ModelArray(groups, allocator);
    }
    rapidjson::Value operator()(const std::shared_ptr<GroupOrderModelList>& items) const {
      return ModelArray(items, allocator);
    }
  };
  return std::visit(Visitor{allocator}, payload);
}

// rapidjson's output stream into the writer's sink: the line is gathered in
// a buffer of one part and handed on each time the buffer is full, so that
// no more than one part of it is ever held here. The buffer grows as the
// line does: a short line takes only its own length.
class PartStream {
 public:
  using Ch = char;
  explicit PartStream(const ReplyWriter::PartSink& sink) : sink_(sink) {}
  void Put(char c) {
    if (buffer_.size() == ReplyWriter::kPartBytes) {
      sink_(buffer_, false);
      buffer_.clear();
    }
    buffer_.push_back(c);
  }
  void Flush() {}
  // Hands on what is left as the line's last part.
  void End() { sink_(buffer_, true); }

 private:
  const ReplyWriter::PartSink& sink_;
  std::string buffer_;
};

using LineWriter = rapidjson::Writer<PartStream>;

// Writes every record of `list` (an array, or null) one at a time: only one
// record's JSON value lives in memory at once, in `scratch`, so a whole
// tree's list costs its text and nothing beside it.
template <typename List>
void WriteModels(const std::shared_ptr<List>& list, Allocator& scratch, LineWriter& writer) {
  if (list == nullptr) {
    writer.Null();
    return;
  }
  writer.StartArray();
  for (const auto& model : *list) {
    scratch.Clear();
    ModelObject(model.get(), scratch).Accept(writer);
  }
  writer.EndArray();
}

void WriteLogicalList(const IGroupApplication::LogicalList& list, LineWriter& writer) {
  // A record's value fits here; clearing keeps this block for the next.
  char block[4096];
  Allocator scratch(block, sizeof(block));
  writer.Key("logicalList");
  writer.StartObject();
  writer.Key("groups");
  WriteModels(list.groups, scratch, writer);
  writer.Key("items");
  WriteModels(list.items, scratch, writer);
  writer.EndObject();
}

// Writes every member of `object` (an object) as members of the open one.
void WriteMembers(const rapidjson::Value& object, LineWriter& writer) {
  for (const auto& member : object.GetObject()) {
    member.name.Accept(writer);
    member.value.Accept(writer);
  }
}

// Adds the members that describe the answer `object` left in the event (a
// logical list is written by WriteLogicalList instead).
void AddAnswer(const BaseObject* object, rapidjson::Document& line) {
  Allocator& allocator = line.GetAllocator();
  if (const auto* request = dynamic_cast<const GroupRequestParam*>(object)) {
    pga_json::AddMember(line, "succeeded", rapidjson::Value(request->succeeded), allocator);
    pga_json::AddMember(line, "payload", PayloadValue(request->payload, allocator), allocator);
  } else if (const auto* result = dynamic_cast<const IDeviceDispatcher::ResultParam*>(object)) {
    rapidjson::Value value(rapidjson::kObjectType);
    pga_json::AddMember(value, "code", rapidjson::Value(result->code), allocator);
    pga_json::AddMember(value, "message", Text(result->message, allocator), allocator);
    pga_json::AddMember(line, "result", std::move(value), allocator);
  } else if (const auto* texts = dynamic_cast<const Vector<std::string>*>(object)) {
    rapidjson::Value array(rapidjson::kArrayType);
    for (const std::string& text : *texts) array.PushBack(Text(text, allocator), allocator);
    pga_json::AddMember(line, "channels", std::move(array), allocator);
  }
}

}  // namespace

ReplyWriter::ReplyWriter(Sink sink)
    : sink_([sink = std::move(sink), line = std::string()](std::string_view part,
                                                           bool last) mutable {
        line.append(part);
        if (!last) return;
        sink(line);
        line.clear();
      }) {}

void ReplyWriter::WriteNotification(const Event& event) {
  const auto* param = dynamic_cast<const IDeviceListener::EventParam*>(event.GetObjectArgument());
  const std::string text = param != nullptr ? param->ToJsonText() : std::string();
  if (!text.empty()) {
    sink_("{\"notification\":" + text + "}", true);
    return;
  }
  sink_("{\"notification\":null,\"eventType\":" + std::to_string(event.GetEventType()) + "}",
        true);
}

void ReplyWriter::WriteReply(const std::string& request, std::uint32_t event_type,
                             const DeliveryOutcome& outcome) {
  // The members are written as they are made, not gathered in a document
  // first, and the line goes to the sink in parts as it is written: a whole
  // tree's list (about 80 bytes of text per item) would otherwise be held
  // again beside its records, as values or as the line (82 MB at 1,001,000
  // items, and more while the text grows).
  rapidjson::Document members(rapidjson::kObjectType);
  Allocator& allocator = members.GetAllocator();
  pga_json::AddMember(members, "reply",
                      request.empty() ? rapidjson::Value(event_type) : Text(request, allocator),
                      allocator);
  pga_json::AddMember(members, "eventType", rapidjson::Value(event_type), allocator);
  pga_json::AddMember(members, "handled", rapidjson::Value(outcome.handled), allocator);
  const BaseObject* answer =
      outcome.event != nullptr ? outcome.event->GetObjectArgument() : nullptr;
  const auto* list = dynamic_cast<const IGroupApplication::LogicalList*>(answer);
  if (list == nullptr) AddAnswer(answer, members);

  PartStream stream(sink_);
  LineWriter writer(stream);
  writer.StartObject();
  WriteMembers(members, writer);
  if (list != nullptr) WriteLogicalList(*list, writer);
  if (outcome.failure) {
    members.SetObject();
    rapidjson::Value error(rapidjson::kObjectType);
    pga_json::AddMember(error, "type", rapidjson::Value(outcome.failure->type), allocator);
    pga_json::AddMember(error, "message", Text(outcome.failure->message, allocator), allocator);
    pga_json::AddMember(members, "error", std::move(error), allocator);
    WriteMembers(members, writer);
  }
  writer.EndObject();
  stream.End();
}

void ReplyWriter::WriteLineError(std::size_t line_number, const std::string& message) {
  rapidjson::Document line(rapidjson::kObjectType);
  Allocator& allocator = line.GetAllocator();
  rapidjson::Value error(rapidjson::kObjectType);
  pga_json::AddMember(error, "line", rapidjson::Value(static_cast<std::uint64_t>(line_number)),
                      allocator);
  pga_json::AddMember(error, "message", Text(message, allocator), allocator);
  pga_json::AddMember(line, "error", std::move(error), allocator);
  sink_(pga_json::ToCompact(line), true);
}

}  // namespace pga
