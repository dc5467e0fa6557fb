// Component's preparation: the sequence that reads the attribute files,
// writes the own file from defaults and reads the protocol command file,
// and its variant that keeps a Serializable in step with the same files.
#include <cstdio>
#include <string>

#include "runtime/attribute_files.h"
#include "runtime/component.h"
#include "runtime/exception.h"
#include "runtime/failure_report.h"
#include "runtime/serializable.h"
namespace pga {
namespace {

using String = Platform_Std_Refine::String;

constexpr char kPrepareSignature[] = "void __cdecl Component::PrepareAttributes(void)";
constexpr char kPrepareSerializableSignature[] =
    "void __cdecl Component::PrepareAttributes(class Serializable *,const class "
    "Platform_Std_Refine::String &)";
constexpr char kWriteSerializableSignature[] =
    "void __cdecl Component::WriteAttributes(class Serializable *,const class "
    "Platform_Std_Refine::String &)";
// The short name the version mismatch lines carry.
constexpr char kMismatchFunction[] = "Component::PrepareAttributes";

// Reads the file at `path` with the Serializable's file reading and hands
// the text to its parsing. False when either fails.
bool Load(Serializable& target, const std::string& path, const String& context) {
  std::string text;
  return Serializable::ReadFile(path, text) && target.ParseText(text, context);
}

}  // namespace

void Component::PrepareAttributes() {
  failure_report::ReportAttributeAndRethrow(kPrepareSignature, __LINE__, [&] {
    OnPrepareAttributes();
    if (!ReadAttributes(false)) {
      if (!ReadDefaultAttributes(
              [this](bool fromDefault) { return ReadAttributes(fromDefault); })) {
        const std::string message =
            std::string("Default Attribute file not exists.. failed at ") + GetName();
        std::printf("%s\n", message.c_str());
        return;
      }
      OnAttributesDefaulted();
      WriteAttributes(false);
    }
    if (!ReadProtocolCommand()) OnProtocolFileMissing();
    RegisterProtocolCommands();
  });
}

void Component::PrepareAttributes(Serializable* target, const String& context) {
  failure_report::ReportAttributeAndRethrow(kPrepareSerializableSignature, __LINE__, [&] {
    if (target == nullptr) {
      throw Exception(kErrorAttributeUnbound, GetName(), kPrepareSerializableSignature,
                      "The Serializable to prepare is null");
    }
    const AttributeFiles files(instanceDescription, GetName(), instanceIndex);
    const std::string own = files.Own();
    const std::string first = files.FirstDefault();
    const std::string second = files.SecondDefault();
    auto load_defaults = [&] {
      return Load(*target, first, context) || Load(*target, second, context);
    };

    String own_version;
    if (!ReadVersion(own, own_version)) {
      // No usable own file: start from the defaults and write the own file.
      String default_version;
      bool loaded = Load(*target, first, context);
      if (loaded) {
        ReadVersion(first, default_version);
      } else {
        std::printf("\033[1;41m [%s:%d] >>> Trying Second %s \033[0m\n",
                    kPrepareSerializableSignature, __LINE__, second.c_str());
        loaded = Load(*target, second, context);
        if (loaded) ReadVersion(second, default_version);
      }
      if (!loaded) {
        std::printf("\033[1;41m [%s:%d] >>> No Default File : %s\033[0m\n",
                    kPrepareSerializableSignature, __LINE__, own.c_str());
        return;
      }
      attributeVersion = default_version.str();
      OnAttributesDefaulted();
      WriteAttributes(target, context);
      return;
    }

    attributeVersion = own_version.str();
    String default_version;
    if (!ReadVersion(first, default_version)) ReadVersion(second, default_version);
    bool mismatch = false;
    if (own_version != default_version) {
      std::printf(
          "\033[1;41m [%s:%d] >>> Mismatch Json Version  : %s (now : %s->default : %s) "
          "\033[0m\n",
          kMismatchFunction, __LINE__, own.c_str(), own_version.c_str(), default_version.c_str());
      mismatch = true;
    }
    if (componentVersion != own_version.str()) {
      std::printf(
          "\033[1;41m [%s:%d] >>> Mismatch Version between component and json : %s (component "
          ": %s != now : %s) \033[0m\n",
          kMismatchFunction, __LINE__, own.c_str(), componentVersion.c_str(), own_version.c_str());
      mismatch = true;
    }
    // The component moved to the defaults' version: their values come
    // first, the own file's are laid over them below.
    if (mismatch && componentVersion == default_version.str()) {
      attributeVersion = default_version.str();
      load_defaults();
    }
    if (!Load(*target, own, context)) load_defaults();
    if (mismatch && componentVersion == attributeVersion) WriteAttributes(target, context);
  });
}

void Component::WriteAttributes(Serializable* target, const String& context) {
  failure_report::ReportAttributeAndRethrow(kWriteSerializableSignature, __LINE__, [&] {
    if (instanceIndex == -1) {
      const std::string message = std::string(GetName()) + "Component Channel is not Set!";
      std::fprintf(stderr, "%s\n", message.c_str());
      throw Exception(kErrorNoInstanceIndex, GetName(), kWriteSerializableSignature, message);
    }
    if (target == nullptr) return;
    std::string text;
    if (!target->SerializeText(context, attributeVersion, text)) return;
    target->WriteFile(AttributeFiles(instanceDescription, GetName(), instanceIndex).Own(), text);
  });
}

}  // namespace pga
