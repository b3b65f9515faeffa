// The process-wide state of the load and save commands and its reset.
#include "shell/load_state.h"

#include <mutex>
#include <set>

#include "shell/framework/winutil.h"
#include "shell/load_commands.h"
#include "shell/menu.h"

std::atomic<int> g_first_image{1};
std::atomic<int> g_display_system_open{1};

namespace {

int g_folder_counter = 0;
std::mutex g_names_lock;
std::set<std::string> g_names;

}  // namespace

int* load_folder_counter() { return &g_folder_counter; }

void load_system_settled() {
  if (g_display_system_open.exchange(0) != 1) return;
  run_on_ui_thread([]() -> intptr_t {
    menu_grey_display_system();
    return 0;
  });
}

bool export_name_used(const std::string& name) {
  std::lock_guard<std::mutex> g(g_names_lock);
  return g_names.count(name) != 0;
}

void export_name_remember(const std::string& name) {
  std::lock_guard<std::mutex> g(g_names_lock);
  g_names.insert(name);
}

void export_names_clear() {
  std::lock_guard<std::mutex> g(g_names_lock);
  g_names.clear();
}

int load_first_image_pending() { return g_first_image.load(); }
int load_display_system_open() { return g_display_system_open.load(); }

void load_state_reset() {
  load_lists_free();
  g_folder_counter = 0;
  g_first_image = 1;
  g_display_system_open = 1;
  export_names_clear();
}
