// Driver of the Navilink receivers (family 5): framed messages (A0 A2 / B0 B3, little-
// endian length, 15-bit sum) on a serial port at 115200 baud. It fills every slot of its
// column: identify, connect, the downloads of waypoints (TMW-V2), tracklog and datalog
// (TMN-V3 navigation logs) and routes (TMR-V2), the deletes of tracklog and datalog, the
// switch-off and the close.
//
// Contract:
// - Every wait is bounded by the wait record's three time-outs; a request that the
//   receiver answers with no record at all is asked again a few times, then the item
//   ends with error 17 and the file keeps what was written before.
// - Records are decoded only from bytes really received: an answer holding more records
//   than were asked gives only those asked; a route record yields the waypoint numbers
//   its payload holds.
// - Record layouts follow what the receivers send (see docs/devices/lnav.md).
#pragma once
#include <cstdint>
#include <cstdio>

struct bframe;
struct gpsport_t;
struct port_read_ctx;

// One waypoint kept for the routes (the fields of the waypoint line).
struct navilink_waypoint {
  uint16_t number;
  char name[8];
  int32_t latitude;   // 1e-7 degrees
  int32_t longitude;
  uint16_t altitude;  // feet
  uint8_t date[6];    // year (2 digits), month, day, hour, minute, second
  uint8_t icon;
};

struct navilink_ctx {
  std::FILE* out;
  bframe* frame;
  char* device_name;           // owned
  uint8_t command;             // first byte of the request being answered
  uint8_t acknowledged;
  uint32_t serial;
  uint32_t waypoints;
  uint32_t track_points;
  uint32_t routes;
  uint32_t datalog_count;
  uint32_t received;           // records received by the current item
  uint32_t expected;           // records received once the current request is answered
  uint32_t answered;           // records the current request got
  uint32_t track_start;
  uint32_t log_start, log_end, log_read, log_write;
  navilink_waypoint* list;     // owned: waypoints kept while routes are downloaded
  uint32_t list_count;
  uint32_t list_capacity;
  uint32_t into_list;
  port_read_ctx* wait;         // owned
};

// The slots of family 5.
int32_t navilink_identify(const char* device_name, gpsport_t* port);
int32_t navilink_connect(gpsport_t* port);
void navilink_download_waypoints(void* connection, void* driver, int32_t* count,
                                 const char* base_name, const char* extension);
void navilink_download_tracklog(void* connection, void* driver, int32_t* count,
                                const char* base_name, const char* extension);
void navilink_download_routes(void* connection, void* driver, int32_t* count,
                              const char* base_name, const char* extension);
void navilink_download_datalog(void* connection, void* driver, int32_t* count,
                               const char* base_name, const char* extension);
void navilink_delete_tracklog(void* connection, void* driver, int32_t* count);
void navilink_delete_datalog(void* connection, void* driver, int32_t* count);
void navilink_power_off(void* connection, void* driver, int32_t kind);
void navilink_close(void** driver);

// The symbol number of a waypoint icon (icons above 44 take icon 44's symbol).
int navilink_icon_symbol(int icon);

// Feeds received bytes to the driver's automaton as the read loop does (for the fuzz
// harness and tests: a context made by navilink_ctx_new on no device).
int navilink_ctx_new(void* device, navilink_ctx** out);
void navilink_ctx_free(navilink_ctx** ctx);

// Fills the routine slots of family 5.
void navilink_install();
