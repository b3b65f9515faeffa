// What the NMEA export's files share (nmea_export.cpp: the frame, layers, waypoints,
// routes and track blocks; nmea_export_points.cpp: the sentences of a track point), and
// the entries the tests reach with a fixed time of export.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/replace_file.h"

struct obj_t;
struct container_t;
struct xform_chain_t;

// Where sentences go: a disk file or an in-memory file object.
struct nmea_output {
  std::FILE* file = nullptr;
  // The file being written beside the one it replaces (file is its stream).
  replace_file_t target;
  obj_t* memory = nullptr;
  // The reference datum's angular unit: coordinates come out of the layer's chain in it
  // and are written in degrees.
  int ref_unit = 1;
  // Time of the export: the base of the "$PTMQB" stamps.
  date_rec base{};
};

// Appends the sentence (from "$" to its last field) and its tail: "*", the checksum as
// two upper-case hexadecimal digits, CR, LF. The checksum is the XOR of the characters
// after "$". A memory file that cannot grow sets error 1.
void nmea_out_sentence(nmea_output* out, const std::string& sentence);

// printf into a std::string.
std::string nmea_format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Degrees (any sign) split into whole degrees and minutes rounded to 1e-4 minute, with a
// minute count that rounds up to 60 carried into the degrees: "%02d%07.4lf" and
// "%03d%07.4lf" never write 60 minutes.
void nmea_split_degrees(double degrees, int* whole, double* minutes);
// "ddmm.mmmm,N" / "dddmm.mmmm,E" of a latitude / longitude in degrees.
std::string nmea_latitude_text(double latitude);
std::string nmea_longitude_text(double longitude);
// Position fields "lat,N,lon,E" of a point (x, y in degrees).
std::string nmea_position_text(double x, double y);

// A text made safe as one field: '$', '*', ',', CR, LF and every character outside
// printable ASCII become blanks.
std::string nmea_field_text(const char* text);
std::string nmea_field_text(const char16_t* text);

// The point's x and y carried through the layer's chain (null: as they are) to degrees.
void nmea_point_degrees(const nmea_output* out, xform_chain_t* chain, const obj_t* point,
                        double* x, double* y);

// The sentences of one track point (gpspos), in order GLL, GGA, GSA, GSV, RMC, VTG, ZDA.
void nmea_write_point(const obj_t* point, xform_chain_t* chain, nmea_output* out);
// The sentences of one track point as text lines without their tails (tests).
std::vector<std::string> nmea_point_sentences(const obj_t* point, xform_chain_t* chain,
                                              const nmea_output& out);
void nmea_write_waypoint(const obj_t* waypoint, xform_chain_t* chain, nmea_output* out);
// The RTE series of a route: as many sentences as its waypoint names need, each under 80
// characters before its tail and carrying the same total.
void nmea_write_route(const obj_t* route, nmea_output* out);
std::vector<std::string> nmea_route_sentences(const obj_t* route);
// A track segment (105) or a track (101) as a "$PTMQT,START" ... "$PTMQT,STOP" block.
void nmea_write_track(const obj_t* track, xform_chain_t* chain, nmea_output* out);
// The waypoints, routes, tracklogs' segments and tracks of one layer; error 13 without
// georeference (nothing written).
void nmea_export_layer(const container_t* list, nmea_output* out);

// The export of the layers of `lists` at `path` or into `memory_file`, the stamps based
// on `base` (nmea_write_file and nmea_export give the time of now).
void nmea_export_lists(const char* path, obj_t* memory_file,
                       const std::vector<const container_t*>& lists, const date_rec& base);
