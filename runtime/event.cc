#include "runtime/event.h"

#include <atomic>
#include <cstdio>
#include <new>

#include "runtime/exception.h"
#include "runtime/json.h"
#include "runtime/object_json.h"

namespace pga {

namespace {

// Numbers of the events created by this library, shared by every component.
std::atomic<std::uint32_t> next_event_id{0};

// Releases a payload cell as its owning event must: an object through its
// virtual destructor, text through the object allocator.
void ReleaseCell(Blob& blob) {
  if (!blob.HasValue()) return;
  if (BaseObject* object = blob.GetObject()) {
    delete object;
  } else if (char* text = blob.GetJson()) {
    if (BaseObject::allocator != nullptr) BaseObject::allocator->Free(text);
  }
  blob.SetValue(nullptr, kBlobObject);
  blob.SetSize(0);
}

}  // namespace

ObjectAllocator* Event::event_allocator = nullptr;

void InstallAllocator(ObjectAllocator* allocator) {
  BaseObject::allocator = allocator;
  Event::event_allocator = allocator;
}

Event::Event(const UId& source, const UId& target, std::uint32_t type, long long args)
    : BaseObject(kTypeCode, "Event"),
      event_id(next_event_id.fetch_add(1)),
      source_uid(source),
      target_uid(target),
      event_type(type),
      event_reply_type(kNoReplyType),
      arguments(args),
      sequenceParent(nullptr),
      sync_type(1),
      send_order(1),
      reserved_(0),
      children_count(0),
      channel_index(0),
      reply_flag(0) {}

Event::Event() : Event(UId(), UId(), 0, 0) {}

Event::~Event() { ReleaseCell(object_argument); }

void* Event::AllocateStorage(std::size_t size, const char* tag) {
  if (event_allocator == nullptr) return nullptr;
  try {
    return event_allocator->MallocSafe(size, tag);
  } catch (const Exception& e) {
    std::printf("Event::%s, %d", "operator new", 10);
    e.Print();
    event_allocator->ReportFailure("EVENTEVENTEVENTEVENT");
    return nullptr;
  }
}

Event* Event::Create(const UId& source, const UId& target, std::uint32_t type, long long args,
                     BaseObject* payload) {
  void* block = AllocateStorage(sizeof(Event), "Event");
  if (block == nullptr) return nullptr;
  NoteAllocation(block, sizeof(Event));
  Event* event = nullptr;
  try {
    event = ::new (block) Event(source, target, type, args);
  } catch (...) {
    ForgetAllocation(block);
    event_allocator->Free(block);
    throw;
  }
  if (payload != nullptr) event->ReplaceObjectArgument(payload);
  return event;
}

void* Event::operator new(std::size_t size, const char* tag) noexcept {
  void* block = nullptr;
  try {
    block = AllocateStorage(size, tag);
  } catch (...) {
    return nullptr;
  }
  if (block != nullptr) NoteAllocation(block, size);
  return block;
}

void Event::operator delete(void* block) noexcept {
  if (block != nullptr && event_allocator != nullptr) event_allocator->Free(block);
}

void Event::operator delete(void* block, const char* /*tag*/) noexcept {
  ForgetAllocation(block);
  operator delete(block);
}

BlobValue& Event::Serialize(BlobValue& out) const {
  rapidjson::Document doc;
  doc.SetObject();
  auto& a = doc.GetAllocator();
  pga_json::SetMember(doc, "BaseObject", object_json::NameObject(name, a), a);
  pga_json::SetMember(doc, "event_id", rapidjson::Value(static_cast<int>(event_id)), a);
  pga_json::SetMember(doc, "source_uid", object_json::UIdObject(source_uid, a), a);
  pga_json::SetMember(doc, "target_uid", object_json::UIdObject(target_uid, a), a);
  pga_json::SetMember(doc, "event_type", rapidjson::Value(static_cast<int>(event_type)), a);
  pga_json::SetMember(doc, "event_reply_type", rapidjson::Value(static_cast<int>(event_reply_type)),
                      a);
  pga_json::SetMember(doc, "arguments", rapidjson::Value(static_cast<std::int64_t>(arguments)), a);
  if (object_argument.HasValue() && object_argument.GetValue() != nullptr &&
      object_argument.GetSize() != 0) {
    const char* kind = object_argument.GetObject() != nullptr ? "BaseObject" : "Json";
    pga_json::SetMember(doc, "object_argument", rapidjson::Value(kind, a), a);
  }
  pga_json::SetMember(doc, "sync_type", rapidjson::Value(sync_type), a);
  pga_json::SetMember(doc, "send_order", rapidjson::Value(send_order), a);
  pga_json::SetMember(doc, "children_count", rapidjson::Value(children_count), a);
  pga_json::SetMember(doc, "channel_index", rapidjson::Value(channel_index), a);
  pga_json::SetMember(doc, "reply_flag", rapidjson::Value(reply_flag), a);
  object_json::WriteCell(doc, name, out);
  return out;
}

void Event::Deserialize(const BlobValue& in) {
  rapidjson::Document doc;
  object_json::ParseDerivedCell(in, doc, *this);
  auto member = [&doc](const char* key) { return pga_json::FindMember(doc, key); };
  object_json::ReadUInt32(member("event_id"), event_id);
  object_json::ReadUInt32(member("event_type"), event_type);
  object_json::ReadUInt32(member("event_reply_type"), event_reply_type);
  // An absent or non-object UId member reads as an empty object.
  static const rapidjson::Value kEmpty(rapidjson::kObjectType);
  const rapidjson::Value* source = member("source_uid");
  const rapidjson::Value* target = member("target_uid");
  object_json::ReadUIdObject(source != nullptr ? *source : kEmpty, source_uid);
  object_json::ReadUIdObject(target != nullptr ? *target : kEmpty, target_uid);
  if (member("arguments") == nullptr) arguments = 0;
  object_json::ReadInt64(member("arguments"), arguments);
  if (const rapidjson::Value* kind = member("object_argument")) {
    const std::string text = pga_json::GetString(*kind);
    if (kind->IsString() && (text == "BaseObject" || text == "Json")) {
      // The payload is never restored: only an empty cell of its kind. The
      // one held so far is the event's own, so it is released first.
      ReleaseCell(object_argument);
      object_argument.SetValue(nullptr, text == "Json" ? kBlobJson : kBlobObject);
      object_argument.SetSize(0);
    }
  }
  if (member("sync_type") == nullptr) sync_type = 0;
  object_json::ReadInt32(member("sync_type"), sync_type);
  if (member("send_order") == nullptr) send_order = 0;
  object_json::ReadInt32(member("send_order"), send_order);
  object_json::ReadUInt32(member("children_count"), children_count);
  object_json::ReadUInt32(member("channel_index"), channel_index);
  object_json::ReadUInt32(member("reply_flag"), reply_flag);
}

bool Event::IsSequenceExempt() const { return false; }

bool Event::IsSequenceReserved() const { return false; }

void* Event::TakeObjectArgument() {
  void* value = object_argument.GetValue();
  if (value == nullptr) return nullptr;
  object_argument.SetValue(nullptr, kBlobObject);
  object_argument.SetSize(0);
  return value;
}

void Event::ReleaseObjectArgument() { ReleaseCell(object_argument); }

void Event::ReplaceObjectArgument(BaseObject* object) {
  // The current payload handed back in stays; releasing it would leave the
  // event holding a freed object.
  if (object == nullptr || object != object_argument.GetObject()) ReleaseCell(object_argument);
  object_argument.SetObject(object);
  object_argument.SetSize(object != nullptr ? object->GetSize() : 0);
}

}  // namespace pga
