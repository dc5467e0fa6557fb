#include "host/plugin_library.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace pga {

namespace {

constexpr char kPluginFileName[] = "libp_group_application.so";

std::string LoaderError(const char* fallback) {
  const char* text = dlerror();
  return text != nullptr ? text : fallback;
}

}  // namespace

PluginLibrary::~PluginLibrary() {
#ifndef PGA_SANITIZED
  if (handle_ != nullptr) dlclose(handle_);
#endif
}

bool PluginLibrary::Open(const std::string& path, std::string& error) {
  dlerror();
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    error = LoaderError("dlopen failed");
    return false;
  }
  // The entry points are plain C functions; dlsym hands them out as void*.
  create_ = reinterpret_cast<CreateComponentFunction>(dlsym(handle_, "create_component"));
  destroy_ = reinterpret_cast<DestroyComponentFunction>(dlsym(handle_, "destroy_component"));
  if (create_ == nullptr || destroy_ == nullptr) {
    error = path + ": the entry points create_component and destroy_component are missing";
    create_ = nullptr;
    destroy_ = nullptr;
    return false;
  }
  return true;
}

std::string ExecutableDirectory() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : exe.parent_path().string();
}

std::string DefaultPluginPath() {
  const std::string dir = ExecutableDirectory();
  if (dir.empty()) return kPluginFileName;
  const std::filesystem::path beside = std::filesystem::path(dir) / kPluginFileName;
  std::error_code error;
  if (std::filesystem::exists(beside, error)) return beside.string();
  return (std::filesystem::path(dir) / PGA_PLUGIN_FROM_BINDIR / kPluginFileName)
      .lexically_normal()
      .string();
}

}  // namespace pga
