#include "group/channel_list_param.h"

ChannelListParam::ChannelListParam()
    : BaseObject(BaseObject::kTypeCode, "ChannelListParam"),
      channels(std::make_shared<ChannelModelList>()) {}

ChannelListParam::~ChannelListParam() = default;
