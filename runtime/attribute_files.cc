#include "runtime/attribute_files.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace pga {

AttributeFiles::AttributeFiles(const ComponentInterface::ManifestInstanceDescription& description,
                               const std::string& class_name, int instance_index)
    : own_prefix_(description.attributeFilePrefix.str() + class_name),
      default_prefix_(description.defaultFilePrefix.str() + class_name),
      index_(instance_index) {}

std::string AttributeFiles::Own() const {
  return own_prefix_ + "_attribute_" + std::to_string(index_) + ".json";
}

std::string AttributeFiles::FirstDefault() const {
  return default_prefix_ + "_default_attribute_" + std::to_string(index_) + ".json";
}

std::string AttributeFiles::SecondDefault() const {
  return default_prefix_ + "_default_attribute.json";
}

std::string AttributeFiles::ChannelDefault() const {
  char channel[16];
  std::snprintf(channel, sizeof(channel), "%03d", index_);
  return default_prefix_ + "_default_attribute_ch" + channel + ".json";
}

std::string AttributeFiles::Protocol() const { return default_prefix_ + "_protocol.json"; }

bool AttributeFiles::ReadText(const std::string& path, std::string& out) {
  // A directory opens for reading on Linux but has no content to read.
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return false;
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return false;
  std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return false;
  out.swap(content);
  return true;
}

bool AttributeFiles::Parse(const std::string& text, rapidjson::Document& doc,
                           ParseFailure& failure) {
  return pga_json::Parse(doc, text, &failure);
}

}  // namespace pga
