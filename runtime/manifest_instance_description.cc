#include "runtime/manifest_instance_description.h"

#include <utility>

namespace pga {

using Description = ComponentInterface::ManifestInstanceDescription;

Description::ManifestInstanceDescription()
    : BaseObject("ManifestInstanceDescription"), index(-1), flag(false) {}

Description::ManifestInstanceDescription(const Description& other) = default;

Description::ManifestInstanceDescription(Description&& other) noexcept
    : BaseObject(other),
      instanceName(std::move(other.instanceName)),
      secondText(std::move(other.secondText)),
      defaultFilePrefix(std::move(other.defaultFilePrefix)),
      attributeFilePrefix(std::move(other.attributeFilePrefix)),
      firstList(std::move(other.firstList)),
      secondList(std::move(other.secondList)),
      thirdList(std::move(other.thirdList)),
      index(other.index),
      flag(other.flag) {}

Description& Description::operator=(const Description& other) = default;

Description& Description::operator=(Description&& other) noexcept {
  BaseObject::operator=(other);
  instanceName = std::move(other.instanceName);
  secondText = std::move(other.secondText);
  defaultFilePrefix = std::move(other.defaultFilePrefix);
  attributeFilePrefix = std::move(other.attributeFilePrefix);
  firstList = std::move(other.firstList);
  secondList = std::move(other.secondList);
  thirdList = std::move(other.thirdList);
  index = other.index;
  flag = other.flag;
  return *this;
}

Description::~ManifestInstanceDescription() = default;

}  // namespace pga
