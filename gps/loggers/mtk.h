// Data loggers built on MediaTek chips (family 8): $PMTK sentences on a serial port at
// 115200 baud. The download stores the logger's hexadecimal memory dump lines in a text
// file (format 69, beginning "$PMTK"); the log reader decodes the binary log records
// inside them, driven by the log-format bit mask, into a tracklog.
//
// Contract:
// - Every wait is bounded: a log command is sent at most kMtkCommandTries times (a
//   status of 2 or no acknowledgement at all asks again), then error 17; a memory
//   block whose answer never matches the address asked is asked again at most
//   kMtkBlockTries times, then error 17.
// - A global error during a log command ends the download at once: the file is closed,
//   the NMEA output is not restored and the error stays set for the caller.
// - The log reader reads only the bytes the file holds: a sector header, a record field
//   or a satellite cut short ends that record; it never fails on the content, only on a
//   file that cannot be opened.
#pragma once
#include <cstdint>
#include <cstdio>

struct container_t;
struct gpsport_t;
struct nmea_parser;
struct obj_t;
struct port_read_ctx;

constexpr int kMtkRates = 19;
constexpr int kMtkCommandTries = 10;   // the first send and up to 9 resends
constexpr int kMtkBlockTries = 5;
constexpr int kMtkBlockSize = 2048;
constexpr int kMtkFormatCode = 69;

struct mtk_ctx {
  nmea_parser* parser;     // owned
  char* firmware;          // owned: the PMTK704 sentence
  char* release;           // owned: the PMTK705 sentence
  std::FILE* out;
  int32_t blocks;
  int32_t expected_command;
  int32_t ack_status;
  uint32_t stop_when_full;
  uint32_t bytes_used;
  uint32_t last_address;
  uint32_t requested;
  char* datum;             // owned: the PMTK530 sentence
  port_read_ctx* wait;     // owned
  uint32_t rates[kMtkRates];
  int32_t rates_known;
};

// The slots of family 8.
int32_t mtk_identify(const char* device_name, gpsport_t* port);
int32_t mtk_connect(gpsport_t* port);
void mtk_download_datalog(void* connection, void* driver, int32_t* count, const char* base_name,
                          const char* extension);
void mtk_erase_log(void* connection, void* driver, int32_t* count);
void mtk_close(void** driver);

// A driver context on an open serial device (null for a context fed by hand).
int mtk_ctx_new(void* device, mtk_ctx** out);
void mtk_ctx_free(mtk_ctx** ctx);
// Feeds received bytes through the driver's parser and sentence handlers.
int mtk_feed(mtk_ctx* ctx, const uint8_t* bytes, int count);

// The log file reader (format 69): 0, or 2 when the file cannot be opened.
int read_mtk_bin(obj_t* file, container_t* list);
// The reader over bytes in memory, into `list` (no folder, no styles): the points made.
int mtk_decode_log_text(const uint8_t* bytes, size_t count, container_t* list);

// Start-up of the module: the sentence dictionaries and the reader of format 69.
void mtk_module_init();
void mtk_module_free();

// Fills the routine slots of family 8 and installs the start-up routine.
void mtk_install();
