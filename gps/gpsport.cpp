// The GPS port object (class 111): registration, creation from a number or a name, the
// list of idle ports, close and destroy. See gpsport.h for the contracts.
#include "gps/gpsport.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "gps/gpsport_internal.h"
#include "gps/nmea_log.h"
#include "gps/nmea_output.h"
#include "gps/nmea_parser.h"
#include "geodesy/xform_records.h"
#include "gps/port_io.h"

namespace {

// Speeds a navigation port may be given; any other speed text gives the first.
constexpr int kNavigSpeeds[] = {4800, 9600, 19200, 38400, 57600, 115200};

// "<prefix><digits>" with digits only (at least one) and a value that fits 32 bits:
// true and the value.
bool parse_prefixed_number(const char* name, const char* prefix, long* value) {
  const size_t n = std::strlen(prefix);
  if (std::strncmp(name, prefix, n) != 0) return false;
  const char* digits = name + n;
  if (!*digits || std::strlen(digits) > 9) return false;
  for (const char* p = digits; *p; ++p)
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  *value = std::strtol(digits, nullptr, 10);
  return true;
}

int navig_speed(const char* text) {
  const long v = std::strtol(text, nullptr, 10);
  for (int s : kNavigSpeeds)
    if (v == s) return s;
  return kNavigSpeeds[0];
}

gpsport_t* new_port(int kind, int family, int speed, gpsport_t** out) {
  gpsport_t* port = nullptr;
  obj_new_registered(CLS_GPSPORT, &port);
  if (out) *out = port;
  if (!port) {
    if (get_gblerr() == 0) set_gblerr(ERR_MEMORY);
    return nullptr;
  }
  port->kind = kind;
  port->family = family;
  port->speed = speed;
  return port;
}

// A serial navigation port on a device: "SERIAL PORT <path> NMEA".
gpsport_t* new_navig_serial(const std::string& path, const char* speed_text, gpsport_t** out) {
  gpsport_t* port = new_port(GPSPORT_SERIAL, GPS_MAGELLAN, navig_speed(speed_text), out);
  if (!port) return nullptr;
  str_set(path.c_str(), &port->device_path);
  const std::string name = "SERIAL PORT " + path + " NMEA";
  str_set(name.c_str(), &port->display_name);
  return port;
}

// Byte offset of the display name in the record, the key of the idle list. The record is
// not standard-layout (it holds atomics), so it is measured on an instance.
int display_name_offset() {
  static const gpsport_t layout{};
  return int(reinterpret_cast<const char*>(&layout.display_name) -
             reinterpret_cast<const char*>(static_cast<const obj_t*>(&layout)));
}

bool has_speed_text(const char* speed_text) { return speed_text && *speed_text; }

// The reader of a live port: its log closed, then freed as what it is.
void free_reader(gpsport_t* port) {
  if (!port->reader) return;
  nmea_parser* parser = static_cast<nmea_parser*>(port->reader);
  switch (port->kind) {
    case GPSPORT_SERIAL:
      // The receiver is told to stop its NMEA output only through the device the port
      // still holds open: after a close the reader's device is gone.
      if (port->connection && parser->device == port->connection) gps_nmea_off(parser);
      nmea_log_close(parser);
      if (port->family == GPS_MAGELLAN) {
        nmea_reader_free(&parser);
      } else {
        free_mem(&parser);
      }
      port->reader = nullptr;
      break;
    case GPSPORT_USB: {
      gps_usb_hooks& hooks = get_gps_usb_hooks();
      if (hooks.pvt_raw_log_close) hooks.pvt_raw_log_close(port);
      if (hooks.pvt_stop) hooks.pvt_stop(&port->reader);
      break;
    }
    case GPSPORT_UDP:
      nmea_log_close(parser);
      nmea_reader_free(&parser);
      port->reader = nullptr;
      break;
    default:
      break;
  }
}

}  // namespace

void gpsport_register() {
  obj_register_class(CLS_GPSPORT, int(sizeof(gpsport_t)), nullptr);
  obj_set_free_callback(CLS_GPSPORT, gpsport_destroy);
  gpsport_run_startups();
}

gpsport_t* gpsport_create(int number, int kind, int speed, int family, const char* suffix,
                          gpsport_t** out) {
  gpsport_t* port = new_port(kind, family, speed, out);
  if (!port) return nullptr;
  std::string path, name;
  if (kind == GPSPORT_SERIAL) {
    path = std::string(kComPathPrefix) + std::to_string(number);
    name = "SERIAL PORT " + path;
  } else if (kind == GPSPORT_UDP) {
    path = std::to_string(number);
    name = "UDP PORT " + path;
  } else {
    return port;
  }
  name += ' ';
  name += suffix ? suffix : "";
  str_set(path.c_str(), &port->device_path);
  str_set(name.c_str(), &port->display_name);
  return port;
}

gpsport_t* gpsport_parse_name(char* name, const char* speed_text, gpsport_t** out) {
  if (out) *out = nullptr;
  if (!name || !out) return nullptr;
  // A device path names a serial port as it stands: paths are case-sensitive here.
  if (name[0] == '/') {
    if (!has_speed_text(speed_text)) return nullptr;
    return new_navig_serial(name, speed_text, out);
  }
  for (char* p = name; *p; ++p) *p = char(std::toupper(static_cast<unsigned char>(*p)));
  long number = 0;
  if (parse_prefixed_number(name, "COM", &number)) {
    if (!has_speed_text(speed_text)) return nullptr;
    char path[32];
    std::snprintf(path, sizeof path, "%s%ld", kComPathPrefix, number);
    return new_navig_serial(path, speed_text, out);
  }
  if (parse_prefixed_number(name, "UDP", &number)) {
    gpsport_t* port = new_port(GPSPORT_UDP, GPS_MAGELLAN, 0, out);
    if (!port) return nullptr;
    char text[32];
    std::snprintf(text, sizeof text, "%ld", number);
    str_set(text, &port->device_path);
    std::snprintf(text, sizeof text, "UDP PORT %ld", number);
    str_set(text, &port->display_name);
    return port;
  }
  if (std::strcmp(name, "USB") == 0) return new_port(GPSPORT_USB, 0, 0, out);
  return nullptr;
}

void gpsport_list_idle(container_t** list) {
  if (!list) return;
  // Through the class list's lock one port at a time: the live reader thread may free
  // its port meanwhile.
  index_create(CLS_GPSPORT, AT_STRING, display_name_offset(), list);
  if (!*list) return;
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_GPSPORT, &cursor)) {
    gpsport_t* port = static_cast<gpsport_t*>(cursor);
    if (port->run.load(std::memory_order_acquire) == 0) index_insert(*list, port);
  }
}

void gpsport_close(gpsport_t* port) {
  if (!port) return;
  const int saved = get_gblerr();
  set_gblerr(0);
  if (port->driver) {
    const gps_device_column* column = gps_family_column(port->family);
    if (column && column->close) column->close(&port->driver);
    port->driver = nullptr;
  }
  if (port->connection) {
    if (port->kind == GPSPORT_UDP) {
      socket_t* s = static_cast<socket_t*>(port->connection);
      udp_close(&s);
    } else {
      com_device* dev = static_cast<com_device*>(port->connection);
      com_close(&dev);
    }
    port->connection = nullptr;
  }
  set_gblerr(saved);
}

void gpsport_destroy(obj_t* obj) {
  gpsport_t* port = static_cast<gpsport_t*>(obj);
  if (!port) return;
  const int saved = get_gblerr();
  set_gblerr(0);
  free_reader(port);
  port->nmea_log_open.store(0, std::memory_order_release);
  port->raw_log_open.store(0, std::memory_order_release);
  set_gblerr(0);
  gpsport_close(port);
  free_mem(&port->display_name);
  free_mem(&port->device_path);
  free_mem(&port->datum);
  free_obj(&port->georef);
  set_gblerr(saved);
}

void gpsport_free(gpsport_t** port) {
  if (!port || !*port) return;
  set_gblerr(0);
  free_obj(port);
}

const char* const* gpsport_extensions(obj_t* obj) {
  if (!obj || obj->cls != CLS_GPSPORT) return nullptr;
  const gps_device_column* column = gps_family_column(static_cast<gpsport_t*>(obj)->family);
  return column ? column->extensions : nullptr;
}

void gps_item_file_name(const char* base_name, const char* extension, char** out) {
  if (!out) return;
  str_set(base_name ? base_name : "", out);
  str_cat(".", out);
  str_cat(extension ? extension : "", out);
}
