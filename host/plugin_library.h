// PluginLibrary: the plug-in loaded with dlopen and its two entry points.
#ifndef PGA_HOST_PLUGIN_LIBRARY_H_
#define PGA_HOST_PLUGIN_LIBRARY_H_

#include <string>

#include "plugin/group_plugin.h"

namespace pga {

class PluginLibrary {
 public:
  PluginLibrary() = default;
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;
  // Unloads the library, except in sanitizer builds (PGA_SANITIZED), where
  // an unloaded library would lose the frames of any leak report. Every
  // component and every object the library made must be gone by then.
  ~PluginLibrary();

  // Loads the library at `path` (RTLD_NOW | RTLD_LOCAL) and finds
  // create_component and destroy_component. Returns false with the loader's
  // message in `error` when either fails. Call at most once.
  bool Open(const std::string& path, std::string& error);

  // The entry points; null before a successful Open.
  CreateComponentFunction create() const { return create_; }
  DestroyComponentFunction destroy() const { return destroy_; }

 private:
  void* handle_ = nullptr;  // from dlopen; released by the destructor
  CreateComponentFunction create_ = nullptr;
  DestroyComponentFunction destroy_ = nullptr;
};

// The directory of the running executable (from /proc/self/exe), or empty
// when it cannot be read.
std::string ExecutableDirectory();

// The plug-in beside the running executable, as in a build tree, when it is
// there; else where the installed layout puts it relative to the
// executable's directory (PGA_PLUGIN_FROM_BINDIR).
std::string DefaultPluginPath();

}  // namespace pga

#endif  // PGA_HOST_PLUGIN_LIBRARY_H_
