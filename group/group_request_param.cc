#include "group/group_request_param.h"

namespace pga {

namespace {

template <typename T>
std::shared_ptr<T> Held(const GroupRequestParam::Payload& payload) {
  const auto* held = std::get_if<std::shared_ptr<T>>(&payload);
  return held != nullptr ? *held : nullptr;
}

}  // namespace

GroupRequestParam::GroupRequestParam() : BaseObject(BaseObject::kTypeCode, "GroupRequestParam") {}

GroupRequestParam::~GroupRequestParam() = default;

std::shared_ptr<GroupModel> GroupRequestParam::Group() const { return Held<GroupModel>(payload); }

std::shared_ptr<GroupModelList> GroupRequestParam::Groups() const {
  return Held<GroupModelList>(payload);
}

std::shared_ptr<GroupOrderModelList> GroupRequestParam::Items() const {
  return Held<GroupOrderModelList>(payload);
}

}  // namespace pga
