// NMEA log files of live ports and the two process-wide logging switches.
//
// A log is a binary file in the log folder (configuration key "LOG_DIR") named
// "NMEA_YYYY-MM-DD_HHhMMmSSs.nmea" (local time). Its first line is the sentence
// "$PTMQH,NMEA File Header" with its tail; then every byte the receiver sent, unchanged
// and in order, each read written as one block and flushed at once. A second log opened
// within the same second does not replace the first: it gets a name of its own
// ("..._2.nmea", "..._3.nmea", ...).
//
// The log file lives in the port's reader (the second field of the reader record, as in
// nmea_parser); the port's nmea_log_open flag says whether logging is on for the port.
// Navigation logging (menu item 40063) covers the NMEA logs of live ports; raw receiver
// logging (menu item 40038) the raw logs of Garmin USB ports. The switches are atomics:
// the live reader thread reads them, the user-interface thread sets them.
#pragma once
#include <cstdint>
#include <string>

struct gpsport_t;
struct nmea_parser;

constexpr const char* kNmeaLogHeader = "$PTMQH,NMEA File Header";

// The path a log opened at this local time gets in the folder, before the check for an
// existing file: <folder>/NMEA_%4d-%02d-%02d_%02dh%02dm%02ds.nmea.
std::string nmea_log_path(const char* folder, int year, int month, int day, int hour,
                          int minute, int second);

// Opens a log for a port that has a reader without one; sets the port's flag when it has
// a reader (also when its log was open already). A file that cannot be created leaves
// the port without log (a trace entry, no message).
void nmea_log_open(gpsport_t* port);
// Closes the reader's log when it has one and nulls it.
void nmea_log_close(nmea_parser* reader);
// Writes one read's bytes to the reader's log and flushes; a write that does not
// complete closes the log. Nothing when there is no log or no byte.
void nmea_log_write(nmea_parser* reader, const uint8_t* bytes, int count);
// When the port's flag is set and it has a reader: closes the log, clears the flag.
void navig_port_log_close(gpsport_t* port);
// Every live port whose flag is clear: kind 1 nmea_log_open, kind 2 the PVT NMEA log.
void navig_logs_open();
// Every port whose flag is set and that has a reader: closes the log, clears the flag.
void navig_logs_close();

// The navigation logging switch; the setter updates the check mark of 40063.
int navig_log_get();
void navig_log_set(int on);
// The raw logging switch; setting it opens the raw log of every Garmin USB port without
// one, clearing it closes every open raw log; then the check mark of 40038.
int navig_rawlog_get();
void navig_rawlog_set(int on);

// The menu's check-mark routine (item id, checked); installed by the program. None: the
// switches change without a menu.
using navig_menu_check_fn = void (*)(unsigned item, int checked);
void set_navig_menu_check_routine(navig_menu_check_fn fn);
constexpr unsigned kNavigLogMenuItem = 40063;
constexpr unsigned kRawLogMenuItem = 40038;
