// The probe: which receiver family answers on a serial port, and the receiver search of
// the download dialog (a serial port, or every Garmin USB receiver).
#include <cstdio>
#include <string>

#include "core/error.h"
#include "core/config.h"
#include "core/memory.h"
#include "gps/gpsport.h"
#include "gps/gpsport_internal.h"
#include "map/mapwin.h"
#include "shell/framework/progress.h"

namespace {

// The frame's title while a search runs; the previous one comes back afterwards.
class search_title {
 public:
  explicit search_title(const std::string& title) {
    mapwin_t* target = frame_target();
    if (target) str_set(target->title, &saved_);
    had_target_ = target != nullptr;
    main_set_title_text(title.c_str());
  }
  ~search_title() {
    if (had_target_) main_set_title_text(saved_ ? saved_ : "");
    free_mem(&saved_);
  }
  search_title(const search_title&) = delete;
  search_title& operator=(const search_title&) = delete;

 private:
  static mapwin_t* frame_target() {
    auto fn = mapwin_get_ui_hooks().command_target;
    obj_t* t = fn ? fn() : nullptr;
    return t && t->cls == CLS_MAPWIN ? static_cast<mapwin_t*>(t) : nullptr;
  }
  char* saved_ = nullptr;
  bool had_target_ = false;
};

std::string serial_search_title(int number) {
  char path[32];
  std::snprintf(path, sizeof path, "%s%d", kComPathPrefix, number);
  const char* format = is_french() ? "Recherche de GPS sur %s" : "Check GPS receiver on %s";
  char title[96];
  std::snprintf(title, sizeof title, format, path);
  return title;
}

// Every Garmin USB receiver, each closed once found; true when at least one was.
bool search_usb() {
  auto search = get_gps_usb_hooks().usb_search;
  if (!search) return false;
  bool found = false;
  for (int index = 0;; ++index) {
    gpsport_t* port = nullptr;
    if (!search(index, &port) || !port) break;
    gpsport_close(port);
    found = true;
  }
  return found;
}

}  // namespace

void gps_probe(const char* device_name, int family_filter, gpsport_t** out) {
  if (!out) return;
  *out = nullptr;
  gpsport_t* port = gpsport_create(0, 0, 0, 0, nullptr, out);
  if (!port || get_gblerr() != 0) return;
  port->kind = GPSPORT_SERIAL;
  str_set(device_name ? device_name : "", &port->device_path);
  for (int family = 1; family <= kGpsFamilyCount; ++family) {
    if (family_filter != 0 && family_filter != family) continue;
    gps_identify_fn identify = gps_device_table[family].identify;
    if (!identify) continue;
    const int32_t result = identify(device_name, port);
    if (result == GPS_IDENTIFY_UNOPENABLE) {
      gpsport_free(out);
      set_gblerr(0);
      return;
    }
    if (result != GPS_IDENTIFY_NONE) return;
  }
  if (get_gblerr() != 0) return;
  gpsport_free(out);
}

void gps_search_receiver(int kind, int number, int family_filter, container_t** list) {
  if (!list) return;
  *list = nullptr;
  set_busy_cursor(2);
  bool found = false;
  if (kind == GPSPORT_SERIAL) {
    search_title title(serial_search_title(number));
    char path[32];
    std::snprintf(path, sizeof path, "%s%d", kComPathPrefix, number);
    gpsport_t* port = nullptr;
    gps_probe(path, family_filter, &port);
    if (port) {
      gpsport_close(port);
      found = true;
    }
  } else if (kind == GPSPORT_USB) {
    search_title title(is_french() ? "Recherche de GPS Garmin USB" : "Check USB Garmin GPS receiver");
    found = search_usb();
  }
  if (found) gpsport_list_idle(list);
}
