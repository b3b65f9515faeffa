// The About box, the table of environment variables, and the dialogs the menu opens
// by template name.
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "core/config.h"
#include "core/memory.h"
#include "platform/ui/icons.h"
#include "platform/ui/msgbox.h"
#include "raster/icon_load.h"
#include "shell/frame.h"
#include "shell/framework/table_window.h"
#include "shell/framework/winutil.h"

namespace {
constexpr const char* kWebAddress = "http://www.tarmelo.net";
constexpr int kEnvironmentWidth = 680;

std::mutex g_about_mutex;
std::string g_about_text, g_about_title;

void build_about_texts() {
  std::lock_guard<std::mutex> lock(g_about_mutex);
  if (!g_about_text.empty()) return;
  g_about_text = std::string(app_name) + " " + app_version + "\n" + kWebAddress;
  g_about_title = std::string(is_french() ? "A propos de " : "About ") + app_name;
}

// Dialog templates by name, as the parts that own the dialogs register them.
std::map<std::string, const plat::DlgTemplate*>& templates() {
  static std::map<std::string, const plat::DlgTemplate*> t;
  return t;
}
}  // namespace

const char* about_text() {
  build_about_texts();
  return g_about_text.c_str();
}

const char* about_title() {
  build_about_texts();
  return g_about_title.c_str();
}

const char* program_icon_file(int icon) { return icon == kProgramIcon ? "tarmelo.ico" : nullptr; }

void about_box(int icon) {
  // The program's icon picture; the information icon when it cannot be read.
  plat::Surface picture;
  const char* file = program_icon_file(icon);
  if (file && raster_icon_surface(file, nullptr, 32, &picture)) {
    plat::message_box_icon(dialog_owner_window(), about_text(), about_title(), plat::MB_OK,
                           picture);
    return;
  }
  plat::message_box(dialog_owner_window(), about_text(), about_title(),
                    plat::MB_OK | plat::MB_ICONINFORMATION);
}

void show_environment() {
  char* text = config_dump();
  const char* title = is_french() ? "Variables d'environment" : "Environment variables";
  if (text) create_table_window(text, title, 0, 2, kEnvironmentWidth, 1);
  free_mem(&text);
}

void register_dialog_template(const char* name, const plat::DlgTemplate* tmpl) {
  if (!name) return;
  if (tmpl)
    templates()[name] = tmpl;
  else
    templates().erase(name);
}

intptr_t run_named_dialog(const char* name, plat::DlgProc proc) {
  auto it = templates().find(name ? name : "");
  if (it == templates().end() || !it->second) return 0;
  return plat::dialog_box_indirect(*it->second, dialog_owner_window(), proc);
}
