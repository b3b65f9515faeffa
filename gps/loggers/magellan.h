// Driver of the Magellan receivers (family 2) on a serial port at 4800 baud, and the
// reader of Magellan log files (format 37).
//
// The receiver speaks proprietary NMEA sentences ($PMGN...) with a checksum handshake:
// it acknowledges every command with "$PMGNCSM,<checksum of the command>", sends one
// data line at a time and waits for the host's "$PMGNCSM,<checksum of the line>", and
// ends a listing with "$PMGNCMD,END". The driver copies the waypoint, track and route
// lines as they come into Magellan log files, read back by magellan_log_read.
//
// Contract:
// - A line is at most kMagellanLineMax bytes (the rest of a longer one is dropped) and
//   ends at LF or after kMagellanEmptyReads reads that gave nothing.
// - A command acknowledged with a wrong checksum is sent again, at most
//   kMagellanResends times, then error 17; a missing line or a refusal ("UNABLE")
//   gives 17; an output file that cannot be made gives 2.
// - The sentence dictionary is built once by magellan_log_register (the start-up routine
//   GPS_STARTUP_MAGELLAN) and read-only afterwards.
#pragma once
#include <cstdint>
#include <cstdio>

struct gpsport_t;
struct obj_t;
struct container_t;
struct nmea_parser;
struct com_device;

constexpr int kMagellanSpeed = 4800;
constexpr uint32_t kMagellanCapabilities = 0x17;
constexpr int kMagellanLineMax = 512;
constexpr int kMagellanEmptyReads = 51;
constexpr int kMagellanResends = 3;
constexpr double kMagellanDeleteSeconds = 20.0;

// Sentence indexes of the dictionary (0: known and ignored).
enum magellan_sentence : int {
  MGN_IGNORED = 0,
  MGN_CSM = 1,
  MGN_RTE = 2,
  MGN_TRK = 3,
  MGN_VER = 4,
  MGN_WPL = 5,
  MGN_CMD = 6,
  MGN_SENTENCES = 7,
};

// Driver context. The parser's device field points back to it.
struct magellan_ctx {
  com_device* dev;
  std::FILE* out;          // the file being written, null when none
  char* version;           // owned: the version sentence
  nmea_parser* parser;
  char* command;           // owned: the command in progress, null when none
  char last_checksum[3];   // of the last data line
  int32_t done;            // "END" received
  int32_t refused;         // "UNABLE" received
  int32_t resend;          // the command's acknowledgement carried another checksum
  int32_t acknowledged;    // the command's acknowledgement matched
};

// Builds the sentence dictionary (again when called again); frees it.
void magellan_log_register();
void magellan_log_free();
container_t* magellan_dict();

// A context with its parser (field buffer 80) on the device; null on failure. Freed
// (parser, texts, record) without any dialogue by magellan_ctx_free.
magellan_ctx* magellan_ctx_create(com_device* dev);
void magellan_ctx_free(magellan_ctx** ctx);
// Reads one line (LF included when it came) into buf (size bytes, NUL-ended): its length.
int magellan_read_line(com_device* dev, char* buf, int size);
// Sends the command in progress and takes its answer, resending on a wrong checksum.
// 0, or the error code (17).
int magellan_command(magellan_ctx* ctx);
// Reads, feeds and acknowledges one line: 0 or the error code.
int magellan_next_line(magellan_ctx* ctx);
// HANDOFF, NMEAOFF, drain, VERSION: the context (with its version sentence) or null.
magellan_ctx* magellan_handshake(com_device* dev);
// The receiver's name from its version sentence: the text after the second comma up to
// the checksum ("" when there is none), into out (size bytes).
char* magellan_version_name(const char* version, char* out, int size);
// One listing into an open file: count of lines.
int magellan_transfer(std::FILE* file, magellan_ctx* ctx, const char* command, int32_t* count);

// The slots of family 2.
int32_t magellan_identify(const char* device_name, gpsport_t* port);
int32_t magellan_connect(gpsport_t* port);
void magellan_download_waypoints(void* connection, void* driver, int32_t* count, const char* base,
                                 const char* extension);
void magellan_download_tracklog(void* connection, void* driver, int32_t* count, const char* base,
                                const char* extension);
void magellan_download_routes(void* connection, void* driver, int32_t* count, const char* base,
                              const char* extension);
void magellan_delete_track(void* connection, void* driver, int32_t* count);
void magellan_close(void** driver);
// Fills the routine slots of family 2 and installs the start-up routine.
void magellan_install();

// ---- Log files ------------------------------------------------------------------------
// The symbol of a waypoint's icon code for a product number.
int magellan_symbol(const char* icon, long product);
int magellan_log_read(obj_t* file, container_t* list);
// Registers the reader of format 37.
void magellan_files_init();
