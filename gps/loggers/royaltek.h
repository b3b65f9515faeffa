// Driver of family 6: RoyalTek data loggers on a serial port (57600 baud, else 115200).
//
// The logger takes $PROY commands and answers with NMEA-framed LOG1xx sentences (see
// royaltek_log.h). The download writes the log summary (LOG108), a "$PTMQH" line with
// the device name, then for each track subfile its header (LOG101) and its record
// sentences (LOG102, binary) into a subfile "<base>_tNN.<ext>", which is appended to the
// main file "<base>.<ext>" once complete; the main file is read back as format 70.
//
// Bounds: the draining of the line after a command stops after kRoyaltekDrainMs even on
// a logger that keeps talking; a subfile header or a request that does not come in time,
// or a request whose blocks stay out of sequence kRoyaltekTries times, ends the
// download with gblerr 17 (the files keep what was received).
#pragma once
#include <cstdint>
#include <cstdio>

struct com_device;
struct gpsport_t;
struct nmea_parser;
struct port_read_ctx;

constexpr int kRoyaltekSpeeds[2] = {57600, 115200};
constexpr int kRoyaltekPerRequest = 240;
constexpr int kRoyaltekDrainMs = 2000;
constexpr int kRoyaltekTries = 3;
constexpr int kRoyaltekMaxSubfiles = 1000;
constexpr uint32_t kRoyaltekCapabilities = 0x30;

struct royaltek_ctx {
  nmea_parser* parser;
  char* device_name;     // owned
  char* command;         // owned: the last command text
  std::FILE* out;        // output file of the LOG sentences (null outside a download)
  int32_t value;         // logging-active flag (query) / point count of the subfile
  int32_t subfiles;      // from LOG108
  int32_t received;      // records received in the current request
  int32_t log_type;      // 0-2, -1 unknown
  uint32_t address;      // start address of the next request
  int32_t per_request;   // records per request
  int32_t asked;         // records asked in the current request
  int32_t last_block;    // last block number of the request (-1 at its start)
  int32_t block_error;   // a block came out of sequence or cut short
  port_read_ctx* wait;
  com_device* device;
};

// Slots of family 6.
int32_t royaltek_probe(const char* device_name, gpsport_t* port);
int32_t royaltek_open(gpsport_t* port);
void royaltek_download_log(void* connection, void* driver, int32_t* count, const char* base_name,
                           const char* extension);
void royaltek_erase_log(void* connection, void* driver, int32_t* count);
void royaltek_free(void** driver);
// The subfile's file name: base name without extension, "_t" and two digits (or more),
// "." and the extension (an owned text in *out).
void royaltek_subfile_name(const char* base_name, const char* extension, int index, char** out);
// Fills family 6's routine slots and installs the start-up routine (gpslog_init).
void royaltek_install();
