// The group and mapping requests (event types 25067001 to 25067009): each
// reads its event, validates, calls the group service, leaves its answer in
// the event and announces what changed.
#ifndef PGA_GROUP_GROUP_REQUEST_HANDLER_H_
#define PGA_GROUP_GROUP_REQUEST_HANDLER_H_

#include <string>

#include "store/group_service.h"
#include "group/notifier.h"
#include "runtime/event.h"

namespace pga {

// Result texts of refused and failed requests.
inline constexpr char kInvalidGroupId[] = "Invalid Group ID";
inline constexpr char kInvalidGroupName[] = "Invalid Group name";
inline constexpr char kBadRequest[] = "Bad Request";
inline constexpr char kInvalidRequest[] = "Invalid Request";
inline constexpr char kInternalServerError[] = "Internal Server Error";
// Name of a group created without one.
inline constexpr char kDefaultGroupName[] = "New Group";
// Longest group name, in characters (UTF-8 code points).
constexpr std::size_t kMaxGroupNameLength = 32;

// True when `name` holds 1 to kMaxGroupNameLength characters, counting every
// byte that does not continue a UTF-8 sequence as the start of one.
bool IsValidGroupName(const std::string& name);

// Handles one request at a time on the caller's thread; keeps no state of
// its own. Every handler answers in `event`: on success the request record
// stays with `succeeded` set (and its payload as the request type says); on
// failure the record is replaced by a result record and nothing is
// announced. A request event without a request record changes nothing.
// Does not own the service or the notifier.
class GroupRequestHandler {
 public:
  GroupRequestHandler(GroupService& service, Notifier& notifier)
      : service_(service), notifier_(notifier) {}

  // 25067001: the whole item cache as a LogicalList, replacing the payload.
  // An event coming back as a reply (reply_flag set) is left alone.
  void GetLogicalList(Event& event);
  // 25067002: the stored groups into the request record's payload.
  void GetLogicalGroups(Event& event);
  // 25067003: creates the group of the request record.
  void CreateLogicalGroup(Event& event);
  // 25067004: renames the group of the request record.
  void ModifyLogicalGroup(Event& event);
  // 25067005: removes the group of the request record (its children stay).
  void DeleteLogicalGroup(Event& event);
  // 25067006: the stored items into the request record's payload.
  void GetLogicalMappings(Event& event);
  // 25067007: moves the cached items of the request's list.
  void ModifyLogicalMapping(Event& event);
  // 25067009: the ids of the channels below the group named by the payload
  // string, as a Vector of texts replacing the payload.
  void GetGroupChannels(Event& event);

 private:
  GroupService& service_;
  Notifier& notifier_;
};

}  // namespace pga

#endif  // PGA_GROUP_GROUP_REQUEST_HANDLER_H_
