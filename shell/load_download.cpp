// Command 13 (a worker): the end of a GPS download window's work. The transfer runs
// here, through the routine of the GPS receivers, and every file it wrote is loaded.
#include <atomic>
#include <cstdio>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/object.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/load_commands.h"
#include "shell/load_internal.h"

namespace {

constexpr int kGpsPortClass = 111;
// Mask bits of what was downloaded (waypoints, tracks, routes, data log), in the order
// of the family's four extensions.
constexpr int kMaskBits[4] = {1, 2, 4, 32};

std::atomic<gps_download_fn> g_download{nullptr};
std::atomic<gps_extensions_fn> g_extensions{nullptr};

// The file the download wrote for one item: the base name and the family's extension.
std::string item_path(const std::string& base, const char* extension) {
  std::string path = base;
  if (extension[0] != '.') path += '.';
  return path + extension;
}

void say_nothing_downloaded() {
  const bool fr = is_french();
  message_on_ui(fr ? "Aucun point recupere du GPS" : "No point downloaded from GPS",
                fr ? "Fin de recuperation" : "End of download");
}

}  // namespace

void set_gps_download_routine(gps_download_fn fn) { g_download = fn; }
void set_gps_extensions_routine(gps_extensions_fn fn) { g_extensions = fn; }

void task_download_done(void*) {
  set_busy_cursor(2);
  const char* text = current_task_text();
  int port_id = 0, mask = 0, used = 0;
  obj_t* port = nullptr;
  if (text && std::sscanf(text, "%d %d%n", &port_id, &mask, &used) == 2 && text[used] != 0)
    obj_find_in_class(kGpsPortClass, port_id, &port);
  gps_download_fn download = g_download.load();
  if (!port || !download) {
    task_end();
    return;
  }
  const std::string base = text + used + 1;
  int count = 0;
  download(port, base.c_str(), mask, &count);
  const int error = get_gblerr();
  std::string paths[4];
  gps_extensions_fn extensions_of = g_extensions.load();
  const char* const* extensions = extensions_of && error == 0 ? extensions_of(port) : nullptr;
  for (int i = 0; i < 4; ++i)
    if ((mask & kMaskBits[i]) && extensions && extensions[i] && extensions[i][0])
      paths[i] = item_path(base, extensions[i]);
  // The port object was made for this download: it goes after a failed one too (the
  // store frees nothing while an error is set).
  set_gblerr(0);
  free_obj(&port);
  if (error != 0) {
    set_gblerr(error);
    show_error_on_ui();
  } else if (count == 0)
    say_nothing_downloaded();
  else
    for (const std::string& p : paths)
      if (!p.empty()) open_file(p.c_str());
  task_end();
}
