// Binding of the outside ECW decoding library (ecw_library.h). One table names each
// call: a library whose own names differ needs only its names here.
#include "raster/ecw_library.h"

#include <cstddef>
#include <mutex>
#include <string>

#include "core/tracelog.h"
#include "platform/sys/clock.h"
#include "platform/sys/sysinfo.h"

namespace {

struct binding_row {
  int ordinal;
  const char* name;
  size_t slot;  // offset of the call in ecw_calls
};

const binding_row kRows[] = {
    {70, "ecw_view_close", offsetof(ecw_calls, close_view)},
    {71, "ecw_view_info", offsetof(ecw_calls, file_info)},
    {73, "ecw_view_open", offsetof(ecw_calls, open_view)},
    {77, "ecw_read_rgb", offsetof(ecw_calls, read_rgb)},
    {78, "ecw_read_bands", offsetof(ecw_calls, read_bands)},
    {82, "ecw_view_set", offsetof(ecw_calls, set_view)},
};
// Optional: the stand-in's clock binding (its delays then run on the host's clock).
constexpr const char* kBindClockName = "ecw_bind_clock";

std::mutex g_lock;
ecw_calls g_calls;
bool g_tried = false;
bool g_bound = false;

void host_sleep(int64_t ms) { plat::sleep_ms(ms); }

void say(const std::string& text) { log_line(text.c_str()); }

int bind_locked(const char* path) {
  g_tried = true;
  g_bound = false;
  g_calls = ecw_calls{};
  const std::string file = path ? std::string(path) : plat::program_dir() + kEcwLibraryName;
  void* module = plat::module_load(file.c_str());
  if (!module) {
    say("ECW library not found: " + file + " (ECW images are not available)");
    return -1;
  }
  ecw_calls calls;
  for (const binding_row& row : kRows) {
    void* fn = plat::module_symbol(module, row.name);
    if (!fn) {
      say("ECW library " + file + " lacks call " + std::to_string(row.ordinal) + " (" +
          row.name + "): ECW images are not available");
      return -1;
    }
    *reinterpret_cast<void**>(reinterpret_cast<char*>(&calls) + row.slot) = fn;
  }
  if (void* clock = plat::module_symbol(module, kBindClockName))
    reinterpret_cast<ecw_bind_clock_fn>(clock)(host_sleep);
  g_calls = calls;
  g_bound = true;
  return 0;
}

}  // namespace

const ecw_calls* ecw_library() {
  std::lock_guard<std::mutex> hold(g_lock);
  if (!g_tried) bind_locked(nullptr);
  return g_bound ? &g_calls : nullptr;
}

int ecw_library_bind(const char* path) {
  std::lock_guard<std::mutex> hold(g_lock);
  return bind_locked(path);
}

void ecw_library_reset() {
  std::lock_guard<std::mutex> hold(g_lock);
  g_tried = false;
  g_bound = false;
  g_calls = ecw_calls{};
}
