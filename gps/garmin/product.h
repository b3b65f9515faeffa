// Garmin product entries (class 108): what one receiver speaks. An entry names the link
// protocol (packet ids, L001 or L002), the command protocol (command codes, A010 or A011),
// the D-types of each record family and the transfer routines that serve the receiver.
//
// Entries come from two places: the built-in table (54 entries for 49 product ids, for
// receivers that send no protocol array), reached through garmin_product_lookup, and
// entries built from a receiver's Protocol_Array packet (garmin_product_from_array, then
// garmin_apply_protocol per triple). Table entries live for the whole process; an entry
// built from a protocol array (from_receiver 1) belongs to the port's driver context and
// is freed by the port's close routine (free_obj, whose free routine garmin_product_free
// frees the description).
//
// The transfer routines take the port's connection (gps/port_io.h): the same routine
// serves the serial and the USB link and tells them apart by the connection (a USB
// device record holds its open USB device).
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/object.h"
#include "gps/garmin/dtypes.h"

constexpr int CLS_GARMIN_PRODUCT = 108;

// Slots of a link protocol table (packet ids, -1 where the protocol has none).
enum garmin_link_slot : int {
  GL_COMMAND_DATA, GL_XFER_CMPLT, GL_DATE_TIME_DATA, GL_POSITION_DATA, GL_PRX_WPT_DATA,
  GL_RECORDS, GL_RTE_HDR, GL_RTE_WPT_DATA, GL_ALMANAC_DATA, GL_TRK_DATA, GL_WPT_DATA,
  GL_PVT_DATA, GL_RTE_LINK_DATA, GL_TRK_HDR, GL_WPT_CAT, GL_SLOT_COUNT
};
// Slots of a command protocol table (command codes, -1 where the protocol has none).
enum garmin_cmd_slot : int {
  GC_ABORT_TRANSFER, GC_TRANSFER_ALM, GC_TRANSFER_POSN, GC_TRANSFER_PRX, GC_TRANSFER_RTE,
  GC_TRANSFER_TIME, GC_TRANSFER_TRK, GC_TRANSFER_WPT, GC_TURN_OFF_PWR, GC_START_PVT_DATA,
  GC_STOP_PVT_DATA, GC_TRANSFER_WPT_CATS, GC_SLOT_COUNT
};

struct garmin_link_protocol {
  const char* name;  // "L001"
  int16_t id[GL_SLOT_COUNT];
};
struct garmin_cmd_protocol {
  const char* name;  // "A010"
  int16_t code[GC_SLOT_COUNT];
};
extern const garmin_link_protocol garmin_link_l001;
extern const garmin_link_protocol garmin_link_l002;
extern const garmin_cmd_protocol garmin_cmd_a010;
extern const garmin_cmd_protocol garmin_cmd_a011;

struct garmin_product;
struct com_device;

// Transfer routines of an entry. `dev` is the port's connection (serial or USB). They
// return 0, or the error code also left in gblerr (17 an unexpected answer, 1 no memory).
// Decoded record arrays (garmin_record, one per packet of the family) are new[]-allocated
// and belong to the caller, who frees them with garmin_records_free.
// Waypoints (A100): *count records in *waypoints.
using garmin_wpt_xfer_fn = int (*)(com_device* dev, garmin_product* entry, int32_t* count,
                                   garmin_record** waypoints);
// Tracks. A300 leaves *track_count 0 and *headers null: every point in *points.
// A301/A302: *track_count tracks, their headers and their point counts (summing to *count).
struct garmin_track_result {
  int32_t count = 0;                // points
  garmin_record* points = nullptr;
  int32_t track_count = 0;
  int32_t* track_points = nullptr;  // points per track
  garmin_record* headers = nullptr;
};
using garmin_trk_xfer_fn = int (*)(com_device* dev, garmin_product* entry, garmin_track_result* out);
// Routes (A200, A201): route headers, route waypoints and waypoints per route.
struct garmin_route_result {
  int32_t route_count = 0;
  int32_t* route_points = nullptr;  // waypoints per route
  garmin_record* headers = nullptr;
  int32_t waypoint_count = 0;
  garmin_record* waypoints = nullptr;
};
using garmin_rte_xfer_fn = int (*)(com_device* dev, garmin_product* entry, garmin_route_result* out);
// Real-time routine (A800, USB only): installed by the real-time module.
using garmin_pvt_fn = int (*)(com_device* dev, garmin_product* entry);

#pragma pack(push, 1)
struct garmin_product : obj_t {
  int32_t product_id;
  int32_t lowest_version;   // first software version served (hundredths), inclusive
  int32_t version_bound;    // first version no longer served
  uint32_t from_receiver;   // 1: built from a protocol array, owned by the port
  char* description;        // owned
  const garmin_link_protocol* link;
  const garmin_cmd_protocol* command;
  const garmin_dtype* waypoint_type;
  const garmin_dtype* track_point_type;
  const garmin_dtype* track_header_type;
  const garmin_dtype* route_header_type;
  const garmin_dtype* route_link_type;
  const garmin_dtype* almanac_type;
  garmin_wpt_xfer_fn waypoint_transfer;
  garmin_trk_xfer_fn track_transfer;
  garmin_rte_xfer_fn route_transfer;
  garmin_pvt_fn realtime;
};
#pragma pack(pop)

// Product data of a receiver (Product_Data packet): id, software version, description.
struct garmin_product_data {
  uint16_t product_id;
  int16_t software_version;
  const char* description;
};

constexpr int32_t kGarminTableVersionBound = 9999999;
constexpr int32_t kGarminArrayVersionBound = 99999999;

// Start-up of the Garmin modules: registers class 108, builds the table. Runs once per
// object store (again after the store is reset, as in tests).
void garmin_init();
// Builds the sorted index of the built-in table (called by garmin_init).
void garmin_product_table_build();
// The built-in table (sorted index by product id); null before garmin_init.
container_t* garmin_product_index();
// Free routine of class 108: frees the description.
void garmin_product_free(obj_t* entry);

// The table entry of a receiver: walks the index from the first entry whose product id
// is the receiver's or above, in ascending id and table order within an id, and takes the
// first whose version range holds the version; its description becomes the receiver's.
// Returns 1 and the entry in *out, or 0 (*out null) when the walk runs past the end.
int garmin_product_lookup(const garmin_product_data* data, garmin_product** out);
// A new entry for a receiver that sends a protocol array: its product id, lowest version
// the software version, bound 99999999, from_receiver 1, its description, nothing else.
garmin_product* garmin_product_from_array(const garmin_product_data* data, garmin_product** out);
// Applies one triple (tag 'L', 'A', 'D', ... and number); `usb` is 1 over the USB link
// (an A800 triple is taken only there). Unknown triples change nothing. A later triple
// for the same field replaces an earlier one.
void garmin_apply_protocol(char tag, int number, garmin_product* entry, int usb);
// Applies the 3-byte triples (tag, 16-bit little-endian number) of a protocol array; a
// trailing partial triple is ignored.
void garmin_apply_protocol_array(const uint8_t* data, size_t size, garmin_product* entry,
                                 int usb);

// The port capability bits of an entry: switch off always, waypoints, tracks, routes and
// real time as the entry has the routine.
uint32_t garmin_set_capabilities(const garmin_product* entry);

// The transfer routines the entries point at (transfers.cpp). They serve both links.
int garmin_a100_transfer(com_device* dev, garmin_product* entry, int32_t* count,
                         garmin_record** waypoints);
int garmin_a200_transfer(com_device* dev, garmin_product* entry, garmin_route_result* out);
int garmin_a201_transfer(com_device* dev, garmin_product* entry, garmin_route_result* out);
int garmin_a300_transfer(com_device* dev, garmin_product* entry, garmin_track_result* out);
int garmin_a301_transfer(com_device* dev, garmin_product* entry, garmin_track_result* out);
// The real-time routine an A800 triple installs over USB (null until the real-time module
// sets it).
void garmin_set_realtime_routine(garmin_pvt_fn fn);

// Frees `count` decoded records (their strings) and the array.
void garmin_records_free(garmin_record* records, int32_t count);
void garmin_track_result_free(garmin_track_result* r);
void garmin_route_result_free(garmin_route_result* r);
