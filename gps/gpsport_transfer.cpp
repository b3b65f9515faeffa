// The transfer: connect, download the chosen items into files, optionally delete the
// receiver's logs (after asking) and switch it off, close the port. The first item error
// stops the items and is handed back after the port was closed.
#include <cstdint>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "gps/gpsport.h"
#include "shell/framework/winutil.h"

namespace {

// Asks on the user-interface thread (the transfer runs on a worker): true on Yes.
bool confirm_deletion(const char* what_fr, const char* what_en) {
  const bool fr = is_french() != 0;
  const std::string text = std::string(fr ? "Effacer le(s) " : "Delete ") + (fr ? what_fr : what_en);
  const char* caption = fr ? "Confirmer la suppression" : "Confirm deletion";
  return run_on_ui_thread([&]() -> intptr_t { return ask_yes_no(text.c_str(), caption) ? 1 : 0; }) != 0;
}

// The deletions asked for by 0x10: tracklogs (when tracks were downloaded), then the
// datalog (when it was). `done` holds the items whose download ended without error: a
// log whose download failed is never offered for deletion, its data would be lost. A
// family without the delete routine is not asked.
void delete_logs(gpsport_t* port, const gps_device_column& column, uint32_t done) {
  struct deletion {
    uint32_t item;
    int slot;
    const char* fr;
    const char* en;
  };
  static constexpr deletion kDeletions[] = {
      {GPS_TRACKS, 0, "tracklog(s) ?", "tracklog(s) ?"},
      {GPS_DATALOG, 1, "datalog ?", "datalog ?"},
  };
  for (const deletion& d : kDeletions) {
    if (!(done & d.item) || !column.erase[d.slot]) continue;
    if (!confirm_deletion(d.fr, d.en)) continue;
    int32_t count = 0;
    if (column.erase[d.slot]) column.erase[d.slot](port->connection, port->driver, &count);
  }
}

}  // namespace

void gps_download(gpsport_t* port, const char* base_name, int flags, int32_t* count) {
  int32_t total = 0;
  if (count) *count = 0;
  if (!port || !base_name || !*base_name) return;
  const gps_device_column* column = gps_family_column(port->family);
  if (!column) return;
  if (column->connect) column->connect(port);
  int item_error = 0;
  uint32_t done = 0;
  if (port->connection) {
    for (int i = 0; i < kGpsItemCount; ++i) {
      if (!(flags & kGpsItemFlags[i]) || !column->download[i]) continue;
      int32_t item_count = 0;
      column->download[i](port->connection, port->driver, &item_count, base_name,
                          column->extensions[i]);
      const int error = get_gblerr();
      set_gblerr(0);
      total += item_count;
      if (error != 0) {
        item_error = error;
        break;
      }
      done |= kGpsItemFlags[i];
    }
    if (count) *count = total;
    if (total != 0 && (flags & GPS_DELETE)) delete_logs(port, *column, done);
    if ((flags & GPS_SWITCH_OFF) && column->switch_off)
      column->switch_off(port->connection, port->driver, port->kind);
  }
  gpsport_close(port);
  if (item_error != 0) set_gblerr(item_error);
}

int gpsport_download_routine(obj_t* port, const char* base_name, int flags, int* count) {
  int32_t n = 0;
  if (port && port->cls == CLS_GPSPORT)
    gps_download(static_cast<gpsport_t*>(port), base_name, flags, &n);
  if (count) *count = n;
  return n;
}
