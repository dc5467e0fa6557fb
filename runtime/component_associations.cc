// Component's association and de-association operations: the receivers map
// (name -> UId) and the target map (group -> owned Vector<UId>).
#include <algorithm>
#include <cstdio>
#include <string>
#include <type_traits>

#include "runtime/component.h"
#include "runtime/failure_report.h"
#include "runtime/log.h"
#include "runtime/param_associate_a_receiver.h"
#include "runtime/param_associate_a_target.h"
namespace pga {
using failure_report::ReportAndRethrow;
using Platform_Std_Refine::String;

namespace {

constexpr char kReceiverEventSignature[] =
    "void __cdecl Component::AssociateAReceiver(class Event *)";
constexpr char kReceiverSignature[] =
    "void __cdecl Component::AssociateAReceiver(const class Platform_Std_Refine::String &,class "
    "UId)";
constexpr char kTargetEventSignature[] = "void __cdecl Component::AssociateATarget(class Event *)";
constexpr char kTargetSignature[] =
    "void __cdecl Component::AssociateATarget(const class Platform_Std_Refine::String &,class "
    "Vector<class UId> &)";
constexpr char kDeReceiverSignature[] =
    "void __cdecl Component::DeAssociateAReceiver(const class Platform_Std_Refine::String &,class "
    "UId)";
constexpr char kDeReceiverEventSignature[] =
    "void __cdecl Component::DeAssociateAReceiver(class Event *)";
constexpr char kDeTargetSignature[] =
    "void __cdecl Component::DeAssociateATarget(const class Platform_Std_Refine::String &,class "
    "Vector<class UId> &)";
constexpr char kDeTargetEventSignature[] =
    "void __cdecl Component::DeAssociateATarget(class Event *)";

// The JSON text of `blob` as a cell that Deserialize reads.
BlobValue JsonCell(const Blob& blob) {
  BlobValue cell;
  cell.value = blob.GetJson();
  cell.kind = kBlobJson;
  cell.size = blob.GetSize();
  return cell;
}

// The record carried by an association event: read from JSON text, or the
// object itself when the event carries one of type `Record`. A null object,
// a missing payload or another class throws; only the target form says so
// first, with "Base object in blob is empty" for a null object.
template <typename Record>
Record ReadRecord(const Event& event) {
  const Blob blob = event.GetBlob();
  Record record;
  if (blob.GetKind() == kBlobJson) {
    record.Deserialize(JsonCell(blob));
    return record;
  }
  if (blob.GetKind() != kBlobObject) throw Exception();
  if (blob.GetObject() == nullptr) {
    if constexpr (std::is_same_v<Record, ComponentInterface::ParamAssociateATarget>) {
      std::printf("Base object in blob is empty\n");
    }
    throw Exception();
  }
  const auto* carried = dynamic_cast<const Record*>(blob.GetObject());
  if (carried == nullptr) throw Exception();
  return *carried;
}

// The UId of the component whose ComponentPart address the event's
// arguments carry, or null when they carry none.
const ComponentPart* DepartingPart(const Event& event) {
  return reinterpret_cast<const ComponentPart*>(static_cast<std::uintptr_t>(event.GetArguments()));
}

// Removes the first UId of `group` equal to `uid`; later ones move down.
void RemoveFirst(Vector<UId>& group, const UId& uid) {
  auto found = std::find(group.begin(), group.end(), uid);
  if (found != group.end()) group.erase(found);
}

}  // namespace

void Component::CheckAllocated(const char* signature, const char* message) const {
  if (GetState() >= kStateAllocated) return;
  const std::string text = std::string("Component (") + GetName() + ") is not allocated.";
  std::printf("Component (%s) is not allocated\n", GetName());
  std::fprintf(stderr, "%s\n", text.c_str());
  throw Exception(kErrorNotAllocated, GetName(), signature,
                  message != nullptr ? String(message) : String(text));
}

void Component::AssociateAReceiver(Event* event) {
  ReportAndRethrow(kReceiverEventSignature, __LINE__, [this, event] {
    CheckAllocated(kReceiverEventSignature, nullptr);
    if (event == nullptr) throw Exception();
    const auto record = ReadRecord<ComponentInterface::ParamAssociateAReceiver>(*event);
    AssociateAReceiver(record.receiver_name, record.receiver_component_uid);
    if (GetState() < kStateReceiverAssociated) SetState(kStateReceiverAssociated);
  });
}

void Component::AssociateAReceiver(const String& receiver_name, UId uid) {
  ReportAndRethrow(kReceiverSignature, __LINE__, [&] {
    if (event_receivers == nullptr) throw Exception();
    event_receivers->insert(receiver_name, uid);
  });
}

void Component::AssociateATarget(Event* event) {
  ReportAndRethrow(kTargetEventSignature, __LINE__, [this, event] {
    CheckAllocated(kTargetEventSignature, "eNotAllocated");
    if (event == nullptr) throw Exception();
    const auto record = ReadRecord<ComponentInterface::ParamAssociateATarget>(*event);
    Vector<UId> uids(record.target_components_uid_vector);
    AssociateATarget(record.group_name, uids);
    if (GetState() < kStateTargetAssociated) SetState(kStateTargetAssociated);
  });
}

void Component::AssociateATarget(const String& group, Vector<UId>& uids) {
  ReportAndRethrow(kTargetSignature, __LINE__, [&] {
    if (event_targets == nullptr) throw Exception();
    auto found = event_targets->find(group);
    if (found == event_targets->end()) {
      auto* members = new ("Vector") Vector<UId>();
      if (members == nullptr) throw Exception();
      found = event_targets->insert(group, members).first;
    }
    Vector<UId>& members = *found->second;
    for (const UId& uid : uids) {
      if (std::find(members.begin(), members.end(), uid) == members.end()) {
        members.push_back(uid);
      }
    }
  });
}

void Component::DeAssociateAReceiver(const String& receiver_name, UId /*uid*/) {
  ReportAndRethrow(kDeReceiverSignature, __LINE__, [&] {
    if (event_receivers == nullptr) throw Exception();
    event_receivers->erase(receiver_name);
  });
}

void Component::DeAssociateAReceiver(Event* event) {
  ReportAndRethrow(kDeReceiverEventSignature, __LINE__, [this, event] {
    if (event == nullptr || event->GetReplyFlag() != 0) return;
    if (event_receivers == nullptr) throw Exception();
    const ComponentPart* departing = DepartingPart(*event);
    if (departing == nullptr) return;
    const UId departing_uid = departing->GetUId();
    for (auto entry = event_receivers->begin(); entry != event_receivers->end();) {
      if (entry->second != departing_uid) {
        ++entry;
        continue;
      }
      LogPrintf(
          "\033[4;31m Found Source to this component which is to be killed! @ %d @ %s @ %s "
          "\033[0m\n",
          __LINE__, kDeReceiverEventSignature, aliasText.c_str());
      entry = event_receivers->erase(entry);
    }
  });
}

void Component::DeAssociateATarget(const String& group, Vector<UId>& uids) {
  ReportAndRethrow(kDeTargetSignature, __LINE__, [&] {
    if (event_targets == nullptr) return;
    auto found = event_targets->find(group);
    if (found == event_targets->end()) return;
    // A copy: `uids` may be the group's own vector, which shrinks below.
    const std::vector<UId> leaving = uids.elements();
    for (const UId& uid : leaving) RemoveFirst(*found->second, uid);
  });
}

void Component::DeAssociateATarget(Event* event) {
  ReportAndRethrow(kDeTargetEventSignature, __LINE__, [this, event] {
    if (event == nullptr || event_targets == nullptr) return;
    const ComponentPart* departing = DepartingPart(*event);
    if (departing == nullptr) return;
    const UId departing_uid = departing->GetUId();
    for (auto group = event_targets->begin(); group != event_targets->end();) {
      RemoveFirst(*group->second, departing_uid);
      if (!group->second->empty()) {
        ++group;
        continue;
      }
      delete group->second;
      group = event_targets->erase(group);
    }
  });
}

}  // namespace pga
