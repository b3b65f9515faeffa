// The operating-system queries of the core (see paths.h), each answered by the
// platform layer: memory status, disk space, other running copies of the program,
// process priority, the user's language and the per-user folders.
#include <atomic>
#include <string>

#include "core/paths.h"
#include "platform/sys/sysinfo.h"

int get_memory_status(double out[5]) {
  const plat::memory_status m = plat::get_memory_status();
  out[0] = m.total_physical;
  out[1] = m.total_swap;
  out[2] = m.available_physical;
  out[3] = m.available_swap;
  out[4] = m.process_committed;
  return 1;
}

void set_process_priority(int normal) {
  // -1 until the first request, so that the first one always reaches the system.
  static std::atomic<int> last{-1};
  const int wanted = normal == 1 ? 1 : 0;
  if (last.exchange(wanted) == wanted) return;
  plat::set_process_priority(wanted == 1);
}

const char* get_user_lang() {
  const std::string lang = plat::user_language();
  return lang == "fr" || lang == "eu" ? "FR" : nullptr;
}

const char* get_local_appdata_dir() {
  static const std::string dir = plat::user_data_dir();
  return dir.c_str();
}

const char* get_user_app_dir() {
  static const std::string dir = [] {
    const std::string base = plat::user_config_dir();
    if (base.empty()) return base;
    std::string folder = base + "Tarmelo Suite/";
    dir_make(folder.c_str());
    return folder;
  }();
  return dir.c_str();
}

int count_own_processes() { return plat::count_processes_named(plat::program_name().c_str()); }

double get_disk_free(const char* path) {
  if (!path_is_absolute(path)) return 0;
  // A file about to be written does not exist yet: ask for the nearest existing folder.
  std::string existing = path;
  while (!existing.empty() && !path_is_dir(existing.c_str()) && !file_exists(existing.c_str())) {
    const size_t cut = existing.find_last_of('/');
    if (cut == std::string::npos) return 0;
    existing.resize(cut == 0 ? 1 : cut);
    if (cut == 0 && !path_is_dir("/")) return 0;
  }
  const int64_t bytes = plat::disk_free_bytes(existing.c_str());
  if (bytes < 0) return 0;
  return static_cast<double>(bytes) / 1073741824.0;
}
