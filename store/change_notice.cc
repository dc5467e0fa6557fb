#include "store/change_notice.h"

#include <unordered_set>
#include <utility>

#include "runtime/json.h"

namespace pga {

LoggedNotice ToLogged(const ChangeNotice& notice) {
  rapidjson::Document doc(rapidjson::kObjectType);
  if (notice.record) notice.record->ToJson(doc, doc.GetAllocator());
  return LoggedNotice{notice.kind, pga_json::ToCompact(doc)};
}

std::optional<ChangeNotice> FromLogged(const LoggedNotice& logged) {
  rapidjson::Document doc;
  if (!pga_json::Parse(doc, logged.record) || !doc.IsObject()) return std::nullopt;
  auto record = std::make_shared<WebsocketEventModel>();
  record->FromJson(doc);
  return ChangeNotice{logged.kind, std::move(record)};
}

std::vector<std::string> NamedIds(const ChangeNotices& notices) {
  std::vector<std::string> ids;
  std::unordered_set<std::string> named;
  auto add = [&](const std::string& id) {
    if (!id.empty() && named.insert(id).second) ids.push_back(id);
  };
  for (const ChangeNotice& notice : notices) {
    if (!notice.record) continue;
    if (const auto& groups = notice.record->groups) {
      for (const auto& group : *groups) {
        if (group && group->groupId) add(*group->groupId);
      }
    }
    if (const auto& items = notice.record->logicalItems) {
      for (const auto& item : *items) {
        if (item) add(item->itemId);
      }
    }
  }
  return ids;
}

}  // namespace pga
