#include "records/i_group_application.h"

namespace pga {

IGroupApplication::LogicalList::LogicalList()
    : groups(std::make_shared<GroupModelList>()), items(std::make_shared<GroupOrderModelList>()) {}

IGroupApplication::LogicalList::~LogicalList() = default;

}  // namespace pga
