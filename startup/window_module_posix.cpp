#include <dlfcn.h>

#include <filesystem>

#include "platform/os.h"
#include "startup/window_module.h"

#ifndef QUIB_WINDOW_MODULE_DIR
#define QUIB_WINDOW_MODULE_DIR "../lib/quib-server"
#endif

namespace quib {

std::vector<std::string> WindowModulePaths() {
  const std::string folder = ExecutableFolder();
  if (folder.empty()) return {};
  // "/usr/lib/..." rather than "/usr/bin/../lib/...", as the loader's
  // messages name it.
  const std::filesystem::path installed =
      std::filesystem::path(folder + QUIB_WINDOW_MODULE_DIR) / kWindowModuleFile;
  return {folder + kWindowModuleFile, installed.lexically_normal().string()};
}

QuibRunWindow LoadWindowModule(std::string& notice) {
  const std::vector<std::string> paths = WindowModulePaths();
  std::string present;  // why the modules that exist did not load
  std::string absent;   // the loader's words for those that do not
  for (const std::string& path : paths) {
    const bool exists = PathExists(path);
    // Every symbol now: a module that does not fit this executable fails
    // here, with a reason, and not in the middle of a run. Its symbols stay
    // its own; it finds the core's in the executable.
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module != nullptr) {
      void* entry = ::dlsym(module, kWindowEntryPoint);
      if (entry != nullptr) return reinterpret_cast<QuibRunWindow>(entry);
      present += (present.empty() ? "" : "; ") + path + ": no " + kWindowEntryPoint;
      ::dlclose(module);
      continue;
    }
    const char* error = ::dlerror();
    std::string& list = exists ? present : absent;
    list += list.empty() ? "" : "; ";
    list += error != nullptr ? error : path;
  }
  if (paths.empty()) absent = "the program's own folder is unknown";
  notice = "The window module cannot be loaded (" + (present.empty() ? absent : present) +
           "): running in the console.";
  return nullptr;
}

}  // namespace quib
