// A simulated Garmin receiver for the tests: one device model (product data, protocol
// array or none, waypoints, routes and track logs of any D-type, a real-time stream of
// PVT, receiver measurement and satellite records) served over two transports:
//
// - a pseudo-terminal (serial link): DLE/ETX frames, 16 doubled in size, data and check
//   byte, every host packet answered with ACK (or NAK when it is bad), every packet of
//   the receiver sent again until the host ACKs it (a NAK or a silence of
//   kGarminSimAckWaitMs re-sends it, at most kGarminSimMaxSends times in all);
// - the simulated USB backend of platform/usb/usb.h: 12-byte headers, Session_Started
//   on Start_Session, replies as one interrupt message (64-byte chunks, a zero-length
//   packet after a full last chunk) or, for transfers, a data-available packet (type 0
//   id 2) on the interrupt pipe and the packets on the bulk pipe, one bulk transfer
//   each (no zero-length bulk packet: the datagram backend ends each transfer itself).
//   The real-time records go as interrupt messages every pvt_interval_ms.
//
// The record layouts come from gps/garmin/dtypes.h: every waypoint, route header, route
// link, track header and track point of the model is packed with garmin_pack through
// the descriptor of the model's D-type, so the simulator and the codecs share one field
// table. The D800, measurement and satellite records are packed here.
//
// Clocks. Every wait of the simulator is measured on the platform clock. For an outside
// host (gpsbabel) the pty is served in real time by a thread of the simulator
// (start_realtime). For our own drivers under the virtual clock, drive() runs the test's
// virtual_worker to its end on the calling thread: it serves the receiver and is the only
// one that moves the clock, and it moves it only when the host waits, nothing the host
// wrote is still unread and nothing the receiver wrote is still unread either, so a
// reply in flight is never overtaken by a time-out. The USB receiver is a usb_sim_add
// script: the backend's own settled rule keeps the clock from racing it.
//
// Faults are switched on per packet number (see garmin_sim_fault); what the host sent and
// what the receiver did is recorded in a garmin_sim_trace. The model, the faults and the
// trace are shared with the serving thread under a mutex.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gps/garmin/dtypes.h"

namespace tm_test {

class virtual_worker;

// ---- Model ----------------------------------------------------------------------------

// One record of any D-type: the fields of gps/garmin/dtypes.h by the same slots, with
// the texts as std::string in UTF-8, as garmin_pack takes them (it writes them as the
// receiver's Latin-1, characters beyond Latin-1 as '?'). Fields a D-type does not carry
// are ignored when it is packed.
struct garmin_sim_record {
  uint32_t num[GN_COUNT] = {};
  float flt[GF_COUNT] = {};
  std::string text[GT_COUNT];
};

struct garmin_sim_route {
  garmin_sim_record header;               // route header D-type
  std::vector<garmin_sim_record> points;  // waypoint D-type
  // Route link D-type (D210): sent after each point but the last when the model has a
  // route link type; links[i] follows points[i] (missing ones are sent empty).
  std::vector<garmin_sim_record> links;
};

struct garmin_sim_track {
  garmin_sim_record header;               // track header D-type (A301/A302 only)
  std::vector<garmin_sim_record> points;  // track point D-type
};

// D800 position, velocity and time.
struct garmin_sim_pvt {
  float alt = 0, epe = 0, eph = 0, epv = 0;
  uint16_t fix = 3;
  double tow = 0;            // seconds of the week
  double lat = 0, lon = 0;   // radians
  float east = 0, north = 0, up = 0;  // m/s
  float msl_hght = 0;
  int16_t leap_scnds = 0;
  int32_t wn_days = 0;       // days from the receiver's epoch to the start of the week
};

// Receiver measurements (packet 52).
struct garmin_sim_rcv {
  double tow = 0;
  int16_t week = 0;
  struct sv {
    uint32_t cycles = 0;
    double pseudorange = 0;
    uint16_t phase = 0;
    int8_t slp_dtct = 0;
    uint8_t snr = 0, svid = 0;
    int8_t valid = 0;
  } sv[12];
};

// Satellite data (packet 114).
struct garmin_sim_sat {
  struct sv {
    uint8_t svid = 0;
    uint16_t snr = 0;
    uint8_t elev = 0;
    uint16_t azmth = 0;
    uint8_t status = 0;
  } sv[12];
};

// One triple of a protocol array ('L', 1), ('A', 100), ('D', 108) ...
struct garmin_sim_protocol {
  char tag;
  uint16_t number;
};

struct garmin_model {
  uint16_t product_id = 0;
  int16_t version = 0;          // hundredths
  std::string description;      // product data text after the two words
  // Protocol array (packet 253) sent after the product data: none when false. When
  // `protocols` is empty it is built from the types below (garmin_model_protocols).
  bool send_protocol_array = true;
  std::vector<garmin_sim_protocol> protocols;
  // USB: Ext_Product_Data (248) packets sent between product data and protocol array.
  std::vector<std::string> ext_product_data;

  // Link (1: L001, 2: L002) and command (10: A010, 11: A011) protocols the receiver
  // speaks, and its D-types (0: the item is not offered). A track header type makes the
  // track transfer A301 (D310..D312), else A300; a route link type makes it A201.
  int link = 1;
  int command = 10;
  int wpt_type = 108;
  int rte_hdr_type = 201;
  int rte_link_type = 0;
  int trk_type = 301;
  int trk_hdr_type = 0;
  bool offers_pvt = false;  // A800 / D800 in the built array

  std::vector<garmin_sim_record> waypoints;
  std::vector<garmin_sim_route> routes;
  std::vector<garmin_sim_track> tracks;  // A300: the points of all tracks in one run

  // Real-time stream after Start_Pvt_Data (49): pvt[i] every pvt_interval_ms, rcv and
  // sat records (after 110 / with the PVT) likewise, cycling; empty: nothing is sent.
  std::vector<garmin_sim_pvt> pvt;
  std::vector<garmin_sim_rcv> rcv;
  std::vector<garmin_sim_sat> sat;
  int pvt_interval_ms = 1000;
  bool pvt_repeat = false;  // cycle through pvt for ever (else stop after the last)

  uint32_t unit_id = 3456789012u;  // USB Session_Started data
};

// The protocol array the simulator sends for the model: `protocols`, or one built from
// the link, command and D-types (L, A010/A011, A100 D<wpt>, A200/A201 D<rte> D<wpt>
// [D210], A300/A301 [D<trk hdr>] D<trk>, [A800 D800]).
std::vector<garmin_sim_protocol> garmin_model_protocols(const garmin_model& m);

// Packs one model record with the D-type (garmin_pack); empty when it does not fit.
std::string garmin_sim_pack(int dtype, const garmin_sim_record& rec);
std::string garmin_sim_pack_pvt(const garmin_sim_pvt& p);  // 64 bytes
std::string garmin_sim_pack_rcv(const garmin_sim_rcv& r);  // 226 bytes
std::string garmin_sim_pack_sat(const garmin_sim_sat& s);  // 84 bytes

// Semicircles of degrees, and back.
int32_t garmin_sim_semicircles(double degrees);
double garmin_sim_degrees(int32_t semicircles);
// Receiver time (seconds since 1989-12-31 00:00 UTC) of a Unix time, and back.
uint32_t garmin_sim_time(int64_t unix_seconds);
int64_t garmin_sim_unix_time(uint32_t garmin_seconds);

// ---- Faults ---------------------------------------------------------------------------

// A fault hits the packet numbered `at` (0-based; -1: off) and, with `times`, that many
// sendings of it (-1: every one, for ever). Packet numbers count separately the packets
// the receiver sends (ACK and NAK excepted; a re-sending keeps the number) and the
// packets it receives from the host.
struct garmin_sim_fault {
  int at = -1;
  int times = 1;
  bool hits(int packet, int sending) const {
    return at >= 0 && packet == at && (times < 0 || sending < times);
  }
};

struct garmin_sim_faults {
  // Host packets: the receiver answers host packet `at` with NAK (times: how often).
  garmin_sim_fault nak;
  // Host packets: the receiver neither ACKs nor answers host packet `at`.
  garmin_sim_fault no_ack;
  // Receiver packets: sent with a wrong check byte.
  garmin_sim_fault bad_check;
  // Receiver packets: a lone (undoubled) 16 inserted at byte `dle_offset` of the part
  // after the packet id (size byte, data, check byte).
  garmin_sim_fault stray_dle;
  int dle_offset = 0;
  // Receiver packets: `junk` sent before the packet (serial: unframed bytes; USB: a
  // stray application packet of id kGarminSimStrayId carrying them, on the same pipe).
  garmin_sim_fault junk;
  std::string junk_bytes = "$GPRMC,noise*00\r\n\x01\x02\xff";
  // Receiver packets: from packet `at` on the receiver sends nothing at all (times
  // ignored), on either transport.
  garmin_sim_fault silence;
  // Receiver packets: the record data is cut to `short_size` bytes (size byte / header
  // size honest).
  garmin_sim_fault short_record;
  int short_size = 3;
  // Receiver packets: the last zero byte of the record (the end of its last string) is
  // dropped, so the record is unterminated.
  garmin_sim_fault unterminated;
  // Receiver packets: the size byte (serial) or header data size (USB) announces
  // `extra_size` bytes more than the data carries.
  garmin_sim_fault size_beyond;
  int extra_size = 20;
  // Serial: the frame of the packet ends without DLE ETX (the next frame follows).
  garmin_sim_fault unterminated_frame;
  // USB: after Session_Started the interrupt pipe sends full 64-byte chunks for ever
  // (no short or zero-length packet ever ends the message).
  bool endless_interrupt = false;
  // USB: that many stray application packets (id kGarminSimStrayId) on the interrupt
  // pipe before Session_Started.
  int usb_stray_before_session = 0;
  // USB: the first reply of every exchange is the data-available packet and the rest
  // comes over bulk (else identification replies come over the interrupt pipe).
  bool usb_bulk_always = false;
};

// ---- What happened ---------------------------------------------------------------------

struct garmin_sim_trace {
  std::vector<int> host_ids;          // packet ids the host sent (ACK/NAK included)
  std::vector<int> commands;          // command codes of its Command_Data packets
  int acks_received = 0, naks_received = 0;  // host ACK / NAK packets
  int acks_sent = 0, naks_sent = 0;
  int resends = 0;                    // packets the receiver sent again
  int bad_host_frames = 0;            // host frames with a bad check byte or framing
  int packets_sent = 0;               // receiver packets (numbered), first sendings
  bool pvt_on = false, rcv_on = false;
  bool powered_off = false;
  bool session_started = false;       // USB
};

// ---- Transports ------------------------------------------------------------------------

constexpr int kGarminSimAckWaitMs = 1000;  // serial: silence after which a packet is re-sent
constexpr int kGarminSimMaxSends = 12;     // serial: sendings of one packet before giving up
constexpr int kGarminSimStrayId = 0x1234;  // USB: id of stray packets

class garmin_sim_engine;  // the protocol side shared by both transports

// The receiver on a pseudo-terminal. The host opens path().
class garmin_sim_pty {
 public:
  explicit garmin_sim_pty(garmin_model model, garmin_sim_faults faults = {});
  ~garmin_sim_pty();
  garmin_sim_pty(const garmin_sim_pty&) = delete;
  garmin_sim_pty& operator=(const garmin_sim_pty&) = delete;

  bool ok() const;
  const std::string& path() const;

  // Serves on a thread of its own in real time until stop() (outside hosts).
  bool start_realtime();
  void stop();

  // Runs the worker's call to its end on the virtual clock, serving the receiver on
  // this thread and moving the clock by step_ms whenever everything is idle. Returns
  // the call's virtual duration, or -1 when it did not end within bound_ms real.
  int64_t drive(virtual_worker& worker, int64_t step_ms = 1, int bound_ms = 20000);

  // The line hangs up (the master closes).
  void unplug();

  garmin_sim_trace trace() const;
  // Changes the faults from now on (between exchanges).
  void set_faults(const garmin_sim_faults& faults);

 private:
  struct impl;
  std::unique_ptr<impl> p_;
};

// The receiver on the simulated USB backend: add() registers it with usb_sim_add
// (usb_sim_enable(true) is the caller's) and returns its device index. The object must
// outlive every open of the device.
class garmin_sim_usb {
 public:
  explicit garmin_sim_usb(garmin_model model, garmin_sim_faults faults = {},
                          uint32_t max_packet = 64);
  ~garmin_sim_usb();
  garmin_sim_usb(const garmin_sim_usb&) = delete;
  garmin_sim_usb& operator=(const garmin_sim_usb&) = delete;

  int add();
  garmin_sim_trace trace() const;
  void set_faults(const garmin_sim_faults& faults);

 private:
  struct impl;
  std::shared_ptr<impl> p_;
};

// ---- GPX of a host, against the model ---------------------------------------------------

// What a GPX file holds, as far as the comparison goes. Missing elements: has_* false.
struct gpx_point {
  std::string name, cmt, desc;
  double lat = 0, lon = 0;
  bool has_ele = false, has_time = false, has_speed = false, has_course = false;
  double ele = 0, speed = 0, course = 0;
  int64_t time = 0;  // Unix seconds (whole)
};
struct gpx_track {
  std::string name;
  std::vector<std::vector<gpx_point>> segments;
};
struct gpx_route {
  std::string name;
  std::vector<gpx_point> points;
};
struct gpx_data {
  std::vector<gpx_point> waypoints;
  std::vector<gpx_route> routes;
  std::vector<gpx_track> tracks;
};

// Reads a GPX text (1.0 or 1.1): false when it is no GPX.
bool gpx_parse(const std::string& text, gpx_data* out);

// Compares what a host made of the model with the model itself: names, positions
// (1e-7 degrees), comments, altitudes, times as far as the model's D-types carry them
// (route points: names and positions). Empty when they agree, else a line per
// difference. `skip`: GPX_NO_WPT_NAMES leaves out waypoint names (a host that does not
// read the variable idents of D105 and D106).
enum : unsigned { GPX_NO_WPT_NAMES = 1 };
std::string garmin_gpx_diff(const gpx_data& gpx, const garmin_model& model, unsigned skip = 0);

// Serves the model on a pty in real time and has gpsbabel read its waypoints, routes
// and track logs into GPX (`gpsbabel -w -r -t -i garmin -f <pty> -o gpx -F <file>`, a
// file in a fresh sandbox folder named `dir`), then reads that GPX. False, with the
// reason and the simulator's trace in *why, when gpsbabel is missing or fails. Tests
// skip when tool_present("gpsbabel") is false.
bool garmin_sim_gpsbabel_gpx(const garmin_model& model, const char* dir, gpx_data* out,
                             std::string* why, std::string* gpx_text = nullptr);

}  // namespace tm_test
