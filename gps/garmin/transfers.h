// The Garmin family (family 1) of the receiver driver table: connect, the downloads of
// waypoints, tracklogs and routes into the system's own V2 text files ("tmw", "tmt",
// "tmr"), and the install routine that fills the family's column. Identification, USB
// probe, reconnection, switch-off and close are the link layer's (gps/garmin/link.h);
// the transfer routines of the product entries (A100, A200/A201, A300, A301/A302) are
// declared in gps/garmin/product.h and serve both links.
//
// Errors go through gblerr: 2 an output file that cannot be opened, 17 a receiver that
// does not answer as expected (unexpected packet, short packet, wrong completion code, a
// route waypoint or track point before any header, an item the entry does not offer),
// 1 out of memory. A failed transfer writes nothing into its file: the text is written
// only after the whole transfer succeeded.
#pragma once
#include <cstdint>

struct gpsport_t;

// Connect slot: kind 1 reconnects over serial, any other kind over USB. Returns the error.
int32_t garmin_connect(gpsport_t* port);

// Download slots: (connection, product entry, count, base name, extension). The count is
// what was written: waypoints, track points (valid points of every written track), or
// route waypoints.
void garmin_write_waypoints(void* connection, void* entry, int32_t* count, const char* base_name,
                            const char* extension);
void garmin_write_tracklogs(void* connection, void* entry, int32_t* count, const char* base_name,
                            const char* extension);
void garmin_write_routes(void* connection, void* entry, int32_t* count, const char* base_name,
                         const char* extension);

// Fills gps_device_table[GPS_GARMIN]'s routine slots, installs garmin_init as the Garmin
// start-up routine and garmin_usb_probe as the receiver search hook.
void garmin_install();

// Every progress text of the Garmin transfers goes through here to progress_step; an
// observer installed here (tests) sees each text and fraction as well. Null removes it.
using garmin_progress_fn = void (*)(const char* text, double fraction);
void garmin_set_progress_observer(garmin_progress_fn fn);
