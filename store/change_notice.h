// A notification of a change to the tree: the form the group component sends
// and the form a change log keeps.
#ifndef PGA_STORE_CHANGE_NOTICE_H_
#define PGA_STORE_CHANGE_NOTICE_H_

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "records/websocket_event_model.h"
#include "store/i_change_log.h"

namespace pga {

// Names of the notifications the group component sends.
inline constexpr char kLogicalGroupCreated[] = "LogicalGroupCreated";
inline constexpr char kLogicalGroupModified[] = "LogicalGroupModified";
inline constexpr char kLogicalGroupDeleted[] = "LogicalGroupDeleted";
inline constexpr char kLogicalMappingCreated[] = "LogicalMappingCreated";
inline constexpr char kLogicalMappingModified[] = "LogicalMappingModified";
inline constexpr char kLogicalMappingDeleted[] = "LogicalMappingDeleted";

// The name of a notification ("LogicalGroupCreated", ...) and the change
// record it carries.
struct ChangeNotice {
  std::string kind;
  std::shared_ptr<WebsocketEventModel> record;
};
using ChangeNotices = std::vector<ChangeNotice>;

// The notice as a change log keeps it; a null record is written as {}.
LoggedNotice ToLogged(const ChangeNotice& notice);

// The notice that `logged` stands for, its record read back from its text;
// nullopt when the text is not a JSON object.
std::optional<ChangeNotice> FromLogged(const LoggedNotice& logged);

// The ids of the groups and items that the records of `notices` name, each
// once, in the order first named; empty ids are left out.
std::vector<std::string> NamedIds(const ChangeNotices& notices);

}  // namespace pga

#endif  // PGA_STORE_CHANGE_NOTICE_H_
