// The worker tasks of the GPS download window: command 13 (the transfer, its messages
// and the loading of the files it wrote) and command 18 (the receiver search, whose
// result goes to the window on the user-interface thread).
#include <atomic>
#include <cstdio>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "gps/gpsport.h"
#include "gps/gpsport_internal.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"

namespace {

std::atomic<gps_probe_result_fn> g_probe_result{nullptr};

void message_on_ui(const char* text, const char* caption) {
  const std::string t = text, c = caption;
  run_on_ui_thread([&]() -> intptr_t { return msg_box(t.c_str(), c.c_str()); });
}

void say_nothing_downloaded() {
  const bool fr = is_french() != 0;
  message_on_ui(fr ? "Aucun point recupere du GPS" : "No point downloaded from GPS",
                fr ? "Fin de recuperation" : "End of download");
}

// Every item of the flags, in the order waypoints, tracks, routes, datalog, that the
// family has, posted for loading.
void load_items(const gpsport_t* port, const std::string& base, int flags) {
  const gps_device_column* column = gps_family_column(port->family);
  if (!column) return;
  for (int i = 0; i < kGpsItemCount; ++i) {
    if (!(flags & kGpsItemFlags[i]) || !column->extensions[i][0]) continue;
    char* path = nullptr;
    gps_item_file_name(base.c_str(), column->extensions[i], &path);
    post_load_command(path, 1);
    free_mem(&path);
  }
}

}  // namespace

void task_gps_download(void*) {
  set_busy_cursor(2);
  const char* text = current_task_text();
  int port_id = 0, flags = 0, used = 0;
  obj_t* found = nullptr;
  if (text && std::sscanf(text, "%d %d%n", &port_id, &flags, &used) == 2 && text[used] == ' ' &&
      text[used + 1] != 0)
    obj_find_in_class(CLS_GPSPORT, port_id, &found);
  if (!found) {
    task_end();
    return;
  }
  gpsport_t* port = static_cast<gpsport_t*>(found);
  const std::string base = text + used + 1;
  int32_t count = 0;
  gps_download(port, base.c_str(), flags, &count);
  const int error = get_gblerr();
  if (error != 0) {
    const std::string message = get_error_text(error), caption = get_error_title(error);
    set_gblerr(0);
    message_on_ui(message.c_str(), caption.c_str());
  } else if (count == 0) {
    say_nothing_downloaded();
  } else {
    load_items(port, base, flags);
  }
  // The port was made for this download: it goes after a failed one too.
  gpsport_free(&port);
  task_end();
}

void task_gps_probe(void*) {
  const char* text = current_task_text();
  int kind = 0, number = 0, family = 0;
  container_t* list = nullptr;
  if (text && std::sscanf(text, "%d %d %d", &kind, &number, &family) == 3)
    gps_search_receiver(kind, number, family, &list);
  set_gblerr(0);
  gps_probe_result_fn result = g_probe_result.load(std::memory_order_acquire);
  if (result) {
    run_on_ui_thread([&]() -> intptr_t {
      result(list);
      return 0;
    });
  } else if (list) {
    obj_list_free_elements(list);
    obj_t* l = reinterpret_cast<obj_t*>(list);
    free_obj(&l);
  }
  task_end();
}

void set_gps_probe_result_routine(gps_probe_result_fn fn) {
  g_probe_result.store(fn, std::memory_order_release);
}
