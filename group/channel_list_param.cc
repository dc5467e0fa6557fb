#include "group/channel_list_param.h"

namespace pga {

ChannelListParam::ChannelListParam()
    : BaseObject(BaseObject::kTypeCode, "ChannelListParam"),
      channels(std::make_shared<ChannelModelList>()) {}

ChannelListParam::~ChannelListParam() = default;

}  // namespace pga
