// Test fixture for the attribute and protocol files: a component with
// recorded hooks, a fresh temporary folder per test, helpers to capture
// what an operation prints or throws, and the refused files of testdata/.
#ifndef PGA_RUNTIME_ATTRIBUTE_TEST_FIXTURE_H_
#define PGA_RUNTIME_ATTRIBUTE_TEST_FIXTURE_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/allocator_test_fixture.h"
#include "runtime/component.h"

namespace pga {

// A file's text and the Exception that reading it must throw.
struct Refusal {
  std::string text;
  int id;
  std::string message;
};

// The cases of testdata/<name>: the file's text on one line, the id and the
// message on the next, with $PATH replaced by `path`. Blank lines and lines
// starting with # are skipped.
inline std::vector<Refusal> ReadRefusals(const std::string& name, const std::string& path = "") {
  std::ifstream in(std::string(PGA_RUNTIME_TESTDATA) + "/" + name);
  EXPECT_TRUE(in.is_open()) << name;
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  }
  std::vector<Refusal> refusals;
  for (std::size_t i = 0; i + 1 < lines.size(); i += 2) {
    Refusal refusal{lines[i], 0, ""};
    std::istringstream expected(lines[i + 1]);
    std::getline(expected >> refusal.id >> std::ws, refusal.message);
    const std::size_t at = refusal.message.find("$PATH");
    if (at != std::string::npos) refusal.message.replace(at, 5, path);
    refusals.push_back(refusal);
  }
  EXPECT_FALSE(refusals.empty()) << name;
  return refusals;
}

// A component named "Recorder" that records its hooks in order.
class Recorder : public Component {
 public:
  Recorder() : Component(25067000, "Recorder") {}
  using Component::RegisterAttribute;
  void SetVersion(const char* text, unsigned major, unsigned minor, unsigned patch,
                  const char* extra = "") {
    componentVersion = text;
    versionMajor = major;
    versionMinor = minor;
    versionPatch = patch;
    versionExtra = extra;
  }
  void OnPrepareAttributes() override { calls.push_back("prepare"); }
  void OnAttributesDefaulted() override { calls.push_back("defaulted"); }
  void OnProtocolFileMissing() override { calls.push_back("protocol missing"); }
  void RegisterProtocolCommands() override {
    calls.push_back("register");
    Component::RegisterProtocolCommands();
  }
  std::vector<std::string> calls;
};

class AttributeFileTest : public AllocatorTest {
 protected:
  void SetUp() override {
    AllocatorTest::SetUp();
    std::string pattern = ::testing::TempDir() + "attributes_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::filesystem::remove_all(dir_);
    AllocatorTest::TearDown();
  }

  // Own files are <dir>/own_Recorder..., default and protocol files
  // <dir>/def_Recorder....
  void Describe(Component& component, int index) {
    ComponentInterface::ManifestInstanceDescription description;
    description.defaultFilePrefix = (dir_ + "/def_").c_str();
    description.attributeFilePrefix = (dir_ + "/own_").c_str();
    description.index = index;
    component.SetInstanceDescription(description);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
  }
  std::string Read(const std::string& name) const {
    std::ifstream file(Path(name), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(Path(name)); }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The Exception that `body` throws; what it printed is kept in printed_
  // and errors_ (standard error).
  template <typename Body>
  Exception Thrown(Body&& body) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    Exception caught;
    try {
      body();
      ADD_FAILURE() << "nothing was thrown";
    } catch (const Exception& e) {
      caught = e;
    } catch (const std::exception& e) {
      ADD_FAILURE() << "standard exception: " << e.what();
    }
    errors_ = ::testing::internal::GetCapturedStderr();
    printed_ = ::testing::internal::GetCapturedStdout();
    return caught;
  }

  std::string dir_;
  std::string printed_;
  std::string errors_;
};

}  // namespace pga

#endif  // PGA_RUNTIME_ATTRIBUTE_TEST_FIXTURE_H_
