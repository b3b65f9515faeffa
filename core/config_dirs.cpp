// Folders the system derives from configuration keys: temporary files ("TEMP_DIR"),
// the trace log ("LOG_DIR") and reduced images ("REDUCE_IMAGE_DIR").
//
// A folder key holds a folder path ending with '/', possibly followed by a prefix that
// callers complete with file names. config_set_dir checks and creates the folder before
// storing it; a folder that is not on a local drive or cannot be created leaves the key
// absent (and says why in the trace log), so callers never get a path that does not
// lead where the user asked.
#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "core/config.h"
#include "core/config_state.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/tracelog.h"
#include "platform/sys/sysinfo.h"

namespace {

std::atomic<config_detail::process_counter_fn> g_process_counter{nullptr};
// The default temporary folder is emptied once per run: doing it again would delete
// the temporary files this very process is using.
bool g_temp_emptied = false;
bool g_reduce_known = false;
char* g_reduce_dir = nullptr;

using guard_t = std::lock_guard<std::recursive_mutex>;

void log_not_local(const char* base) {
  const std::string text = is_french()
                               ? std::string("Le fichier <") + base + "> n'est pas sur un disque local"
                               : std::string("File <") + base + "> is not on a local harddrive";
  log_error_line(text.c_str());
}

void log_cannot_create(const std::string& folder) {
  const std::string text = is_french() ? "Creation du repertoire " + folder + " impossible"
                                       : "Unable to create directory " + folder;
  log_error_line(text.c_str());
}

int count_running_copies() {
  config_detail::process_counter_fn counter = g_process_counter.load();
  return counter ? counter() : count_own_processes();
}

// The program name names one folder inside the local data folder: a name that climbs
// out of it ("..") or reaches deeper ("a/b") would point the emptying elsewhere.
bool is_plain_name(const char* name) {
  return *name && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 &&
         !std::strpbrk(name, "/\\");
}

// Removes the folder and everything below it, without ever touching what lies outside.
// The folder is named without its trailing '/': "link/" would resolve a symbolic link
// and empty the folder it points at, where "link" removes the link alone. Below it,
// symbolic links are likewise removed as links.
void empty_and_remove(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(folder), ec);
}

// U + "logs/" as the log folder when "LOG_DIR" is not configured.
void config_log_dir_default() {
  const char* user = get_user_app_dir();
  if (!user || !*user) return;
  const std::string folder = std::string(user) + "logs/";
  config_set_dir("LOG_DIR", nullptr, folder.c_str());
}

}  // namespace

namespace config_detail {

void forget_dirs() {
  guard_t guard(lock());
  g_temp_emptied = false;
  g_reduce_known = false;
  free_mem(&g_reduce_dir);
}

void set_process_counter(process_counter_fn fn) { g_process_counter.store(fn); }

}  // namespace config_detail

void config_set_dir(const char* key, const char* suffix, const char* base) {
  if (!key) return;
  guard_t guard(config_detail::lock());
  if (!base || !*base) {
    config_set(key, nullptr);
    return;
  }
  // base may be the key's own cached value: copy it before the key changes.
  std::string folder = base;
  if (!path_is_local_drive(folder.c_str())) {
    log_not_local(folder.c_str());
    config_set(key, nullptr);
    return;
  }
  if (!path_ends_with_sep(folder.c_str())) folder += '/';
  if (!dir_make(folder.c_str()) && !path_make_dirs(folder.c_str())) {
    log_cannot_create(folder);
    config_set(key, nullptr);
    return;
  }
  config_set(key, (folder + (suffix ? suffix : "")).c_str());
}

void config_temp_dir_set(const char* base, const char* suffix) {
  config_set_dir("TEMP_DIR", suffix, base);
}

const char* config_dir_cached(const char* key) {
  if (!key) return nullptr;
  guard_t guard(config_detail::lock());
  // config_set_dir copies the base before it rewrites the key.
  if (!config_detail::is_cached(key)) config_set_dir(key, nullptr, config_get(key));
  return config_get(key);
}

// "TEMP_DIR" when configured; otherwise <local data folder>/<program>/<pid>_, the
// folder being emptied first when no other copy of the program runs.
const char* get_temp_dir() {
  if (is_embedded()) return nullptr;
  guard_t guard(config_detail::lock());
  if (const char* configured = config_dir_cached("TEMP_DIR")) return configured;
  const char* local = get_local_appdata_dir();
  if (!local || !*local) return nullptr;
  const char* name = get_program_name();
  const std::string base = std::string(local) + name + "/";
  if (!g_temp_emptied && is_plain_name(name) && count_running_copies() < 2)
    empty_and_remove(base);
  g_temp_emptied = true;
  config_set_dir("TEMP_DIR", (std::to_string(plat::process_id()) + "_").c_str(), base.c_str());
  return config_get("TEMP_DIR");
}

const char* get_log_dir() {
  guard_t guard(config_detail::lock());
  if (const char* configured = config_dir_cached("LOG_DIR")) return configured;
  config_log_dir_default();
  return config_get("LOG_DIR");
}

// The configured folder + "v2/", computed once; the key is rewritten to that text.
// The returned text is this file's own copy, valid until config_reset.
const char* get_reduce_image_dir() {
  guard_t guard(config_detail::lock());
  if (g_reduce_known) return g_reduce_dir;
  g_reduce_known = true;
  if (const char* configured = config_dir_cached("REDUCE_IMAGE_DIR")) {
    str_set(configured, &g_reduce_dir);
    str_cat("v2/", &g_reduce_dir);
    config_set("REDUCE_IMAGE_DIR", g_reduce_dir);
  }
  return g_reduce_dir;
}
