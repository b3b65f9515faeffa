// GPS port objects (class 111), the receiver driver table, the probe and the transfer.
//
// Every connection to a GPS receiver or data logger is one gpsport_t: a serial port, a
// Garmin USB device or a UDP port. A receiver family (1 Garmin ... 9 SkyTraq) is one
// column of gps_device_table, whose rows are the item file extensions and the routines
// identify, connect, download one item, delete, switch off and close. The drivers fill
// their slots; an empty slot (null) is skipped.
//
// gps_probe asks the families in turn whether a receiver of theirs answers on a serial
// port; gps_download connects, downloads the chosen items into files, optionally
// deletes the receiver's logs and switches it off, and closes the port. Both run on the
// command dispatcher's worker thread, one at a time. Live navigation uses the same
// object: its run flag, log flags and datum-changed flag are shared between the live
// reader thread and the user-interface thread, hence atomic.
//
// Errors are codes in gblerr (core/error.h): 4 the serial device cannot be opened,
// 5 no communication, 17 the device does not answer as expected.
//
// Files: gpsport.cpp (class, create, parse, close, destroy, idle list), gpsport_table.cpp
// (the driver table and the hooks to the Garmin USB and PVT modules), gpsport_probe.cpp
// (probe and receiver search), gpsport_transfer.cpp (the transfer), gps_commands.cpp
// (the worker tasks of commands 13 and 18).
#pragma once
#include <atomic>
#include <cstdint>

#include "core/object.h"

struct container_t;
struct georef_t;

constexpr int CLS_GPSPORT = 111;

// Port kinds.
enum gpsport_kind : int32_t {
  GPSPORT_SERIAL = 1,
  GPSPORT_USB = 2,  // Garmin USB
  GPSPORT_UDP = 3,
};

// Receiver families: the column of gps_device_table and the value of the family field.
enum gps_family : int32_t {
  GPS_FAMILY_NONE = 0,  // a serial port whose protocol the live reader detects
  GPS_GARMIN = 1,
  GPS_MAGELLAN = 2,  // also plain NMEA receivers in live navigation
  GPS_EMTAC = 3,
  GPS_GLOBALSAT = 4,
  GPS_NAVILINK = 5,
  GPS_ROYALTEK = 6,
  GPS_WINTEC = 7,
  GPS_MEDIATEK = 8,
  GPS_SKYTRAQ = 9,
};
constexpr int kGpsFamilyCount = 9;

// Item and option flags of a transfer, also the capability bits of a port.
enum gps_item_flag : uint32_t {
  GPS_WAYPOINTS = 0x1,
  GPS_TRACKS = 0x2,
  GPS_ROUTES = 0x4,
  GPS_SWITCH_OFF = 0x8,
  GPS_DELETE = 0x10,
  GPS_DATALOG = 0x20,
  GPS_REALTIME = 0x40,  // capability only: real-time position data (Garmin)
};
// Items of a transfer by index: waypoints, tracks, routes, datalog.
constexpr int kGpsItemCount = 4;
constexpr uint32_t kGpsItemFlags[kGpsItemCount] = {GPS_WAYPOINTS, GPS_TRACKS, GPS_ROUTES,
                                                   GPS_DATALOG};

// Identify's results besides "found" (any other non-zero value).
constexpr int32_t GPS_IDENTIFY_UNOPENABLE = -1;  // the device cannot be opened at all
constexpr int32_t GPS_IDENTIFY_NONE = 0;         // no receiver of this family answered

// The port record. Not packed (it holds atomics); never saved, no descriptor.
struct gpsport_t : obj_t {
  int32_t kind;             // gpsport_kind
  int32_t family;           // gps_family
  char* display_name;       // owned: the text shown in lists
  char* device_path;        // owned: serial "\\.\COMn" or a device path; UDP the port number
  int32_t speed;            // baud rate of a serial port
  uint32_t capabilities;    // gps_item_flag bits, written by the family's identify routine
  void* connection;         // the open serial or USB device (port I/O) or UDP socket; null when closed
  void* driver;             // the family driver's context, freed only by its close routine
  void* reader;             // live reader state: NMEA reader, raw reader or Garmin PVT state
  georef_t* georef;         // owned: coordinate system of the live data (WGS 84)
  // Live navigation fields.
  char* datum;                         // owned: datum name last applied to the georeference
  std::atomic<int32_t> datum_changed;  // 1 when the georeference's datum was just changed
  std::atomic<int32_t> run;            // 1 running, -1 stop requested, 0 otherwise
  std::atomic<int32_t> nmea_log_open;  // the NMEA (or PVT NMEA) log of this port is open
  std::atomic<int32_t> raw_log_open;   // the raw receiver log of a Garmin USB port is open
};

// ---- The driver table -----------------------------------------------------------------------
// Slot contracts (errors through gblerr):
// identify(device name, port): the port has kind 1 and its device path set. Opens the
//   device at the family's speed and asks for its identity. -1: cannot be opened (the
//   probe stops); 0: no receiver of the family (what it opened is closed again); else
//   found: family, kind, device path, connection, driver context, display name and
//   capabilities are set.
// connect(port): opens the port again and checks the receiver; on failure closes what it
//   opened, gblerr 4 (cannot open) or 17 (does not answer), connection left null.
// download(connection, driver, count, base name, extension): one item into the file
//   "base name.extension"; count = objects written.
// erase(connection, driver, count): column 0 the tracklogs, column 1 the datalog.
// switch_off(connection, driver, port kind).
// close(address of the driver field): ends the dialogue, frees the context, nulls it.
using gps_identify_fn = int32_t (*)(const char* device_name, gpsport_t* port);
using gps_connect_fn = int32_t (*)(gpsport_t* port);
using gps_download_item_fn = void (*)(void* connection, void* driver, int32_t* count,
                                      const char* base_name, const char* extension);
using gps_erase_fn = void (*)(void* connection, void* driver, int32_t* count);
using gps_switch_off_fn = void (*)(void* connection, void* driver, int32_t kind);
using gps_close_fn = void (*)(void** driver);

// One family's column: the seven rows.
struct gps_device_column {
  const char* extensions[kGpsItemCount];      // "" when the family has no such item
  gps_identify_fn identify;
  gps_connect_fn connect;
  gps_download_item_fn download[kGpsItemCount];  // waypoints, tracks, routes, datalog
  gps_erase_fn erase[2];                       // tracklogs, datalog
  gps_switch_off_fn switch_off;
  gps_close_fn close;
};

// Indexed by family (1..9); entry 0 is unused and empty. The extensions are fixed; the
// routine slots are filled by the drivers (or by tests) before the first probe.
extern gps_device_column gps_device_table[kGpsFamilyCount + 1];
// The column of a family, or null outside 1..9.
const gps_device_column* gps_family_column(int family);
// The name of a family offered in the download dialog ("" outside 1..9).
const char* gps_family_name(int family);

// Routines of the Garmin USB and real-time modules the port object calls; empty until
// those modules install them (an empty hook does nothing / finds nothing).
struct gps_usb_hooks {
  // Finds the index-th Garmin USB receiver (from 0): 1 and a new port in *out, or 0.
  int (*usb_search)(int index, gpsport_t** out) = nullptr;
  // Stops the real-time reception and frees its state (the port's reader).
  void (*pvt_stop)(void** state) = nullptr;
  void (*pvt_nmea_log_open)(gpsport_t* port) = nullptr;
  void (*pvt_raw_log_open)(gpsport_t* port) = nullptr;
  void (*pvt_raw_log_close)(gpsport_t* port) = nullptr;
};
gps_usb_hooks& get_gps_usb_hooks();

// ---- Port operations ------------------------------------------------------------------------
// Registers class 111 with gpsport_destroy as its free routine, then the start-up of the
// driver modules. Called once by the global initialisation.
void gpsport_register();
// The driver modules with a start-up routine, in the order gpsport_register runs them:
// Garmin product table, Magellan log sentence table, Emtac sentence table, MediaTek log
// module, RoyalTek log keywords.
enum gps_startup_module : int {
  GPS_STARTUP_GARMIN,
  GPS_STARTUP_MAGELLAN,
  GPS_STARTUP_EMTAC,
  GPS_STARTUP_MEDIATEK,
  GPS_STARTUP_ROYALTEK,
  GPS_STARTUP_COUNT
};
// Installs a module's start-up routine (null: none); installed before gpsport_register.
void gpsport_set_startup(int module, void (*routine)());

// Creates a port. Kind 1: device path "\\.\COM" + number, display name "SERIAL PORT " +
// path; kind 3: path = the number, name "UDP PORT " + number; both then " " + suffix.
// Other kinds: no names. Returns the port (also in *out), null with gblerr on failure.
gpsport_t* gpsport_create(int number, int kind, int speed, int family, const char* suffix,
                          gpsport_t** out);
// The live navigation port from a configured or typed name (upper-cased in place):
// "COMn" (needs a speed text), a device path such as /dev/ttyUSB0 (same), "UDPn", "USB".
// Anything else leaves *out null.
gpsport_t* gpsport_parse_name(char* name, const char* speed_text, gpsport_t** out);
// Asks the families (all when filter is 0, else only that one) whether a receiver
// answers on the serial device. *out: the found port, or null.
void gps_probe(const char* device_name, int family_filter, gpsport_t** out);
// The probe of the download dialog: kind 1 probes serial port `number`, kind 2 searches
// every Garmin USB receiver. Found ports are closed; *list gets the idle ports, or null
// when none was found.
void gps_search_receiver(int kind, int number, int family_filter, container_t** list);
// A sorted index (by display name) of every live port whose run flag is 0.
void gpsport_list_idle(container_t** list);
// The transfer of the items in `flags` into files "base name.extension"; *count gets the
// total of the objects written. Errors are left in gblerr after the port was closed.
void gps_download(gpsport_t* port, const char* base_name, int flags, int32_t* count);
// Closes the driver context and the connection; keeps an error set before, adds none.
void gpsport_close(gpsport_t* port);
// The class free routine: stops the reader, closes, frees names and georeference.
void gpsport_destroy(obj_t* port);

// The file of one downloaded item: the base name, ".", the extension (an owned string in
// *out). Drivers write their item files under this name; the download task loads them.
void gps_item_file_name(const char* base_name, const char* extension, char** out);

// The device path of serial port n: "\\.\COMn" (the platform maps it to a device).
constexpr const char* kComPathPrefix = "\\\\.\\COM";

// ---- Commands ---------------------------------------------------------------------------------
constexpr int kGpsDownloadCommand = 13;  // "<port id> <flags> <absolute base path>"
constexpr int kGpsProbeCommand = 18;     // "<kind> <port number> <family>"
// Worker task of command 13: the transfer, its messages and the loading of its files.
void task_gps_download(void* unused);
// Worker task of command 18: gps_search_receiver, then the result routine (the download
// dialog's) with the list on the user-interface thread; the routine owns the list.
void task_gps_probe(void* unused);
using gps_probe_result_fn = void (*)(container_t* list);
void set_gps_probe_result_routine(gps_probe_result_fn fn);
// The four extensions of a port's family (for the shell's download routine seam).
const char* const* gpsport_extensions(obj_t* port);
// gps_download through the shell's gps_download_fn seam: returns the count.
int gpsport_download_routine(obj_t* port, const char* base_name, int flags, int* count);
