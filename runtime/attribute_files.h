// AttributeFiles: where the attribute files and the protocol command file of
// one component instance live, and how their text is read and parsed.
//
// The instance description's fourth text prefixes the component's own
// attribute file, its third text the default files and the protocol file;
// each prefix is followed directly by the component's class name.
#ifndef PGA_RUNTIME_ATTRIBUTE_FILES_H_
#define PGA_RUNTIME_ATTRIBUTE_FILES_H_

#include <cstddef>
#include <string>

#include "runtime/json.h"
#include "runtime/manifest_instance_description.h"

namespace pga {

class AttributeFiles {
 public:
  AttributeFiles(const ComponentInterface::ManifestInstanceDescription& description,
                 const std::string& class_name, int instance_index);

  // <fourth text><class>_attribute_<index>.json
  std::string Own() const;
  // <third text><class>_default_attribute_<index>.json
  std::string FirstDefault() const;
  // <third text><class>_default_attribute.json
  std::string SecondDefault() const;
  // <third text><class>_default_attribute_ch<index, three digits>.json
  std::string ChannelDefault() const;
  // <third text><class>_protocol.json
  std::string Protocol() const;

  // Reads the whole file at `path` into `out`. False, with nothing printed
  // and `out` unchanged, when the file cannot be opened or read (a missing
  // file is not an error for the callers).
  static bool ReadText(const std::string& path, std::string& out);

  // Why a text was refused by Parse: the parser's message and the byte
  // offset where it stopped.
  using ParseFailure = pga_json::ParseFailure;

  // Parses `text` into `doc` with pga_json::Parse. On failure fills
  // `failure` and returns false; nesting deeper than pga_json::kMaxDepth is
  // a failure too.
  static bool Parse(const std::string& text, rapidjson::Document& doc, ParseFailure& failure);

 private:
  std::string own_prefix_;
  std::string default_prefix_;
  int index_;
};

}  // namespace pga

#endif  // PGA_RUNTIME_ATTRIBUTE_FILES_H_
