// NMEA log files of live ports and the navigation and raw logging switches. See
// nmea_log.h.
#include "gps/nmea_log.h"

#include <atomic>
#include <cstdio>
#include <ctime>
#include <string>

#include "core/config.h"
#include "core/paths.h"
#include "core/reader.h"
#include "gps/gpsport.h"
#include "gps/nmea_output.h"
#include "gps/nmea_parser.h"
#include "platform/sys/clock.h"

namespace {

std::atomic<int> g_navig_log{0};
std::atomic<int> g_raw_log{0};
std::atomic<navig_menu_check_fn> g_menu_check{nullptr};

// Names tried for one second before giving up: NMEA_<stamp>.nmea, then _2 ... _99.
constexpr int kMaxSameSecondLogs = 99;

void menu_check(unsigned item, int on) {
  if (navig_menu_check_fn fn = g_menu_check.load(std::memory_order_acquire)) fn(item, on);
}

// The first name of the second that no file has yet; "" when all are taken.
std::string free_log_path(const char* folder, const std::tm& t) {
  const std::string first = nmea_log_path(folder, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                                          t.tm_hour, t.tm_min, t.tm_sec);
  if (!file_exists(first.c_str())) return first;
  const std::string stem = first.substr(0, first.size() - std::string(".nmea").size());
  for (int n = 2; n <= kMaxSameSecondLogs; ++n) {
    const std::string path = stem + "_" + std::to_string(n) + ".nmea";
    if (!file_exists(path.c_str())) return path;
  }
  return "";
}

nmea_parser* reader_of(gpsport_t* port) { return static_cast<nmea_parser*>(port->reader); }

// Calls fn for every live port, one at a time through the class list's lock.
template <class Fn> void for_each_port(Fn fn) {
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_GPSPORT, &cursor)) fn(static_cast<gpsport_t*>(cursor));
}

}  // namespace

std::string nmea_log_path(const char* folder, int year, int month, int day, int hour,
                          int minute, int second) {
  std::string path = folder ? folder : "";
  if (!path.empty() && path.back() != '/') path += '/';
  char name[64];
  std::snprintf(name, sizeof name, "NMEA_%4d-%02d-%02d_%02dh%02dm%02ds.nmea", year, month, day,
                hour, minute, second);
  return path + name;
}

void nmea_log_open(gpsport_t* port) {
  if (!port || !port->reader) return;
  nmea_parser* reader = reader_of(port);
  if (!reader->log) {
    std::tm t{};
    if (plat::local_time(plat::wall_time(), &t)) {
      const std::string path = free_log_path(get_log_dir(), t);
      std::FILE* file = nullptr;
      if (!path.empty() && open_file_msg(path.c_str(), "wb", &file)) {
        nmea_sentence_write(file, kNmeaLogHeader);
        std::fflush(file);
        reader->log = file;
      }
    }
  }
  port->nmea_log_open.store(1, std::memory_order_release);
}

void nmea_log_close(nmea_parser* reader) {
  if (!reader || !reader->log) return;
  std::fclose(reader->log);
  reader->log = nullptr;
}

void nmea_log_write(nmea_parser* reader, const uint8_t* bytes, int count) {
  if (!reader || !reader->log || !bytes || count <= 0) return;
  const size_t n = size_t(count);
  const bool whole = std::fwrite(bytes, 1, n, reader->log) == n;
  if (!whole || std::fflush(reader->log) != 0) nmea_log_close(reader);
}

void navig_port_log_close(gpsport_t* port) {
  if (!port || !port->reader || port->nmea_log_open.load(std::memory_order_acquire) == 0) return;
  nmea_log_close(reader_of(port));
  port->nmea_log_open.store(0, std::memory_order_release);
}

void navig_logs_open() {
  for_each_port([](gpsport_t* port) {
    if (port->nmea_log_open.load(std::memory_order_acquire) != 0) return;
    if (port->kind == GPSPORT_SERIAL) {
      nmea_log_open(port);
    } else if (port->kind == GPSPORT_USB) {
      if (auto open = get_gps_usb_hooks().pvt_nmea_log_open) open(port);
    }
  });
}

void navig_logs_close() {
  for_each_port([](gpsport_t* port) { navig_port_log_close(port); });
}

int navig_log_get() { return g_navig_log.load(std::memory_order_acquire); }

void navig_log_set(int on) {
  g_navig_log.store(on ? 1 : 0, std::memory_order_release);
  menu_check(kNavigLogMenuItem, on ? 1 : 0);
}

int navig_rawlog_get() { return g_raw_log.load(std::memory_order_acquire); }

void navig_rawlog_set(int on) {
  g_raw_log.store(on ? 1 : 0, std::memory_order_release);
  const gps_usb_hooks& hooks = get_gps_usb_hooks();
  for_each_port([&](gpsport_t* port) {
    const bool open = port->raw_log_open.load(std::memory_order_acquire) != 0;
    if (on && port->kind == GPSPORT_USB && !open) {
      if (hooks.pvt_raw_log_open) hooks.pvt_raw_log_open(port);
    } else if (!on && open) {
      if (hooks.pvt_raw_log_close) hooks.pvt_raw_log_close(port);
    }
  });
  menu_check(kRawLogMenuItem, on ? 1 : 0);
}

void set_navig_menu_check_routine(navig_menu_check_fn fn) {
  g_menu_check.store(fn, std::memory_order_release);
}
