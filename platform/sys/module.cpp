// Run-time modules: shared libraries opened by path with every symbol bound at once
// (a missing symbol fails the load instead of a later call) and kept out of the
// global namespace, so two modules never resolve to each other's routines.
#include <dlfcn.h>

#include "platform/sys/sysinfo.h"

namespace plat {

void* module_load(const char* path) {
  // dlopen of a null path would return the program itself.
  if (!path || !path[0]) return nullptr;
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* module_symbol(void* module, const char* name) {
  if (!module || !name) return nullptr;
  return dlsym(module, name);
}

void module_unload(void* module) {
  if (module) dlclose(module);
}

}  // namespace plat
