// Feeds arbitrary files to the attribute file reader (then writes the values
// back) and to the protocol command file reader: only the defined
// exceptions, never a crash or a leak.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "runtime/component.h"
#include "runtime/exception.h"

namespace pga {

namespace {

// A component with one attribute of every type of the table.
class Fuzzed : public Component {
 public:
  Fuzzed() : Component(25067000, "Fuzzed") {
    RegisterAttribute("flag", 1, '?', &flag);
    RegisterAttribute("byte", 1, 'B', &byte);
    RegisterAttribute("sbyte", 1, 'b', &sbyte);
    RegisterAttribute("char", 1, 'c', &character);
    RegisterAttribute("u16", 1, 'H', &u16);
    RegisterAttribute("i16", 1, 'h', &i16);
    RegisterAttribute("u32", 1, 'I', &u32);
    RegisterAttribute("i32", 4, 'i', i32);
    RegisterAttribute("u64", 1, 'Q', &u64);
    RegisterAttribute("i64", 1, 'q', &i64);
    RegisterAttribute("float", 1, 'f', &f);
    RegisterAttribute("double", 2, 'd', d);
    RegisterAttribute("text", 1, 's', &text);
    RegisterAttribute("list", 1, 'v', &list, 's');
    RegisterAttribute("meta", 1, 'm');
  }

  bool flag = false;
  std::uint8_t byte = 0;
  std::int8_t sbyte = 0;
  char character = 0;
  std::uint16_t u16 = 0;
  std::int16_t i16 = 0;
  std::uint32_t u32 = 0;
  std::int32_t i32[4] = {};
  unsigned long long u64 = 0;
  long long i64 = 0;
  float f = 0;
  double d[2] = {};
  std::string text;
  std::vector<std::string> list;
};

const std::string& Folder() {
  static const std::string folder = [] {
    std::string pattern = "/tmp/pga_fuzz_attributes_XXXXXX";
    fuzz::Check(mkdtemp(pattern.data()) != nullptr, "no temporary folder");
    // The component's diagnostics are not what is tested here.
    fuzz::Check(std::freopen("/dev/null", "w", stdout) != nullptr, "no /dev/null");
    return pattern;
  }();
  return folder;
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

template <typename Body>
void ExpectOnlyDefinedFailures(Body&& body) {
  try {
    body();
  } catch (const Exception&) {
  } catch (const std::exception&) {
    // The hexadecimal byte readers report as std::stoi does.
  }
}

}  // namespace

}  // namespace pga

using namespace pga;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CountingAllocator& allocator = fuzz::Allocator();
  const std::string& folder = Folder();
  if (size == 0) return 0;
  const std::size_t live = allocator.LiveBlocks();
  const std::string content(reinterpret_cast<const char*>(data) + 1, size - 1);
  {
    Fuzzed component;
    ComponentInterface::ManifestInstanceDescription description;
    description.defaultFilePrefix = (folder + "/def_").c_str();
    description.attributeFilePrefix = (folder + "/own_").c_str();
    description.index = 0;
    component.SetInstanceDescription(description);
    if (data[0] % 2 == 0) {
      const std::string own = folder + "/own_Fuzzed_attribute_0.json";
      WriteFile(own, content);
      ExpectOnlyDefinedFailures([&] {
        Map<Platform_Std_Refine::String, AttributeItem> unused;
        component.ReadSettingFile(own.c_str(), "Attributes", unused, false);
      });
      // Whatever was read must be writable again.
      ExpectOnlyDefinedFailures([&] { component.WriteAttributes(false); });
    } else {
      WriteFile(folder + "/def_Fuzzed_protocol.json", content);
      ExpectOnlyDefinedFailures([&] { component.ReadProtocolCommand(); });
    }
  }
  fuzz::Check(allocator.LiveBlocks() == live, "runtime storage leaked");
  return 0;
}
