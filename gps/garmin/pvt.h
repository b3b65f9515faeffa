// Garmin real-time position data over USB: the stream of position, velocity and time
// records (D800), receiver measurements and satellite data that a receiver announcing
// A800 sends on its interrupt pipe once asked to, for the live navigation reader.
//
// The live reader starts the stream on a Garmin USB port (pvt_start), polls it
// (pvt_read through the receiver's A800 routine pvt_poll), and gets each new position
// as a fix record for the navigation display (pvt_to_position). Every position record
// is also written as four NMEA sentences (GGA, PGRME, PGRMV, PGRMF: pvt_to_nmea) into
// the port's PVT NMEA log when it is open, and the measurements and satellite data as
// text lines into the raw receiver log when that is open.
//
// Contract:
// - Interrupt chunks are gathered in the state's reassembly buffer until a short or
//   zero-length packet ends a packet; a packet is handled only when it holds its 12-byte
//   header and every data byte its header announces, and a record only when the data
//   holds the whole record (64, 226 or 84 bytes): anything shorter is dropped. The
//   buffer never passes kPvtMaxPacket bytes: a packet that would is dropped whole (the
//   bytes up to its end are skipped). One poll handles at most kPvtPollChunks chunks, so
//   a receiver that never stops sending cannot hold the reader.
// - The state begins like a port reader (gps/port_io.h): the device, then the NMEA log,
//   so the live reader's log routines (gps/nmea_log.h) close the PVT NMEA log like any
//   other. The state is used by the live reader thread; the raw log alone is also
//   opened and closed from the user-interface thread (the raw logging switch), hence
//   under the state's lock. The log routines reach a port's state only while it is
//   alive (a registry of the living states, whose free waits for them).
// - Errors: pvt_start clears what it meets and answers through its result; a read error
//   of the device makes pvt_poll and pvt_read return -1.
//
// Files: pvt.cpp (start, stop, poll, reassembly, packet handling, logs, install),
// pvt_records.cpp (record unpacking and the raw log lines), pvt_nmea.cpp (the NMEA text
// and the live position), pvt_commands.cpp (the real-time commands of the receiver).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>

struct com_device;
struct garmin_product;
struct gpsport_t;
struct nmea_fix;

// ---- Packets and commands ----------------------------------------------------------------
constexpr int kPvtPidPvtData = 51;        // D800 position record
constexpr int kPvtPidReceiverData = 52;   // receiver measurements
constexpr int kPvtPidSatelliteData = 114; // satellite data
constexpr int kPvtPidCommandData = 10;    // Command_Data packet id of the commands below
constexpr int kPvtCmdStartPvt = 49;
constexpr int kPvtCmdStopPvt = 50;
constexpr int kPvtCmdStartReceiver = 110;
constexpr int kPvtCmdStopReceiver = 111;

// Flags of pvt_poll: the packets handled.
constexpr int kPvtGotPosition = 1;
constexpr int kPvtGotSatellites = 2;
constexpr int kPvtGotReceiver = 4;

// Wire sizes of the records, satellites per record.
constexpr size_t kPvtD800Size = 64;
constexpr size_t kPvtReceiverSize = 226;
constexpr size_t kPvtSatelliteSize = 84;
constexpr int kPvtChannels = 12;

// Reassembly: the largest packet kept (header and data), the chunks one poll handles.
constexpr uint32_t kPvtMaxPacket = 12 + 4096;
constexpr int kPvtPollChunks = 64;

// ---- Records ----------------------------------------------------------------------------
// D800: position (radians), velocity (m/s) and time of a receiver.
struct pvt_d800 {
  float alt;        // height above the WGS 84 ellipsoid, m
  float epe;        // estimated position errors, m
  float eph;
  float epv;
  uint16_t fix;     // 0 unusable, 1 invalid, 2 2D, 3 3D, 4 2D differential, 5 3D differential
  double tow;       // seconds of the GPS week
  double lat;       // radians
  double lon;
  float east;       // m/s
  float north;
  float up;
  float msl_hght;   // height of the ellipsoid above mean sea level, m
  int16_t leap_scnds;
  int32_t wn_days;  // days from 1989-12-31 to the start of the week
};

struct pvt_channel {
  uint32_t cycles;
  double pseudorange;
  uint16_t phase;    // 1/2048 cycle
  int8_t slp_dtct;
  uint8_t snr;
  uint8_t svid;
  int8_t valid;
};
struct pvt_receiver {
  double tow;
  int16_t week;
  pvt_channel channel[kPvtChannels];
};

struct pvt_satellite {
  uint8_t svid;
  uint16_t snr;
  uint8_t elevation;
  uint16_t azimuth;
  uint8_t status;
};

// Unpack `size` bytes of packet data: 0, or 14 when the data is shorter than the record
// (the record is then left as it was).
int garmin_d800_unpack(const uint8_t* data, size_t size, pvt_d800* out);
int garmin_rcv_unpack(const uint8_t* data, size_t size, pvt_receiver* out);
int garmin_sat_unpack(const uint8_t* data, size_t size, pvt_satellite out[kPvtChannels]);
// The raw log lines: "Receiver", time of week and week, then one line per channel; and
// one line per satellite (PRN = svid up to 32, else svid + 87).
void garmin_rcv_print(std::FILE* f, const pvt_receiver* r);
void garmin_sat_print(std::FILE* f, const pvt_satellite s[kPvtChannels]);
int pvt_satellite_prn(int svid);

// ---- Real-time state --------------------------------------------------------------------
struct pvt_state {
  com_device* device;
  std::FILE* nmea_log;        // PVT NMEA log, null when none
  std::FILE* raw_log;         // raw receiver log, null when none (under `lock`)
  int32_t kind;               // 2
  garmin_product* product;    // the receiver's entry, owned when built from its array
  int32_t complete;           // interrupt request state of usb_poll_interrupt, from 1
  pvt_d800 pvt;
  pvt_receiver receiver;
  pvt_satellite satellites[kPvtChannels];
  uint8_t* buffer;            // reassembly buffer (owned)
  uint32_t used;
  uint32_t capacity;
  char* nmea_text;            // NMEA text of the last position record (owned)
  int32_t skipping;           // 1 while the rest of an oversized packet is skipped
  std::mutex lock;            // guards raw_log
};

// A state for the open device and the receiver's entry (both owned from then on);
// null with gblerr 1 when memory runs out.
pvt_state* pvt_state_new(com_device* device, garmin_product* product);
// Frees the buffer, the NMEA text, the logs and the state (not the device nor entry).
void pvt_state_free(pvt_state** state);

// ---- Live reader ------------------------------------------------------------------------
// Opens the receiver at `device_path`, starts its session, identifies it and starts the
// stream (and the receiver measurements when raw logging is on): 1 and the state in
// *state; 0 when the device does not open or its session does not start (try again);
// -1 when the receiver has no real-time routine or the start failed after that (the
// device is closed). gblerr is left clear.
int pvt_start(const char* device_path, void** state);
// Stops the stream and the measurements, closes the device and the logs, frees the
// state and the receiver's own entry; nulls *state. Safe with null.
void pvt_stop(void** state);
// The A800 routine: reads what the device has and handles every packet it ends.
// -1 on a read error, else the OR of kPvtGot* for the packets handled.
int pvt_poll(pvt_state* state);
// One poll through the receiver's A800 routine: -1 on a read error, 1 when a new
// position came (the fix is filled, its raw text is the position's NMEA text), else 0.
int pvt_read(void* state, nmea_fix* fix);
// One interrupt chunk into the reassembly buffer; `ends` when it ends a packet (which
// is then handled). Returns the flag of the packet handled, 0 when none.
int pvt_feed_chunk(pvt_state* state, const uint8_t* bytes, int count, int ends);
// Handles the packet in the reassembly buffer (see the contract) and empties the buffer.
int pvt_handle_packet(pvt_state* state);

// ---- NMEA text and live position (pvt_nmea.cpp) ------------------------------------------
// The four sentences of the last position record, each with its check suffix and CR LF,
// into the state's NMEA text.
void pvt_to_nmea(pvt_state* state);
// The same for a record, into an owned string (*out replaced).
void pvt_d800_to_nmea(const pvt_d800* r, char** out);
// The live position of the last record: seconds of arc, heights, km/h and knots,
// bearing in degrees true, fix type, UTC date and time, validity flags.
void pvt_to_position(const pvt_state* state, nmea_fix* fix);
void pvt_d800_to_position(const pvt_d800* r, nmea_fix* fix);

// ---- Logs -----------------------------------------------------------------------------
// "PVT_<time stamp>.nmea" in the log folder, starting with "$PTMQH,NMEA File Header" and
// "$PGRMM,WGS 84"; sets the port's NMEA-log flag. Nothing for a port without state.
void pvt_nmea_log_open(gpsport_t* port);
// "RCV_<time stamp>.tmr" starting with "TMR-Tarmelo_RCV_logfile"; sets the raw-log flag.
void pvt_raw_log_open(gpsport_t* port);
// Closes the raw log and clears the flag.
void pvt_raw_log_close(gpsport_t* port);
constexpr const char* kPvtRawLogHeader = "TMR-Tarmelo_RCV_logfile";

// ---- Receiver commands (pvt_commands.cpp) -------------------------------------------------
// Each sends its command in a Command_Data packet; returns 0 or the error (5).
int pvt_command_start_pvt(com_device* dev);
int pvt_command_stop_pvt(com_device* dev);
int pvt_command_start_receiver(com_device* dev);
int pvt_command_stop_receiver(com_device* dev);

// Fills the USB hooks of the port object (gps/gpsport.h: pvt_stop and the three log
// routines), the live reader's real-time hooks (gps/navig.h) and the A800 routine of
// the product entries.
void garmin_pvt_install();
