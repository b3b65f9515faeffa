// A replay point: one fix of a track prepared for the diffusion program, with the NMEA
// sentences to send for it, its time since the start of the track and its distance along
// it. The record is object class 140, the class of the NMEA parser's owned text and its
// count (gps/nmea_parser.h): a replay point begins with those two fields, so code that
// knows only the text record reads a replay point correctly. The diffusion program
// registers class 140 with this larger layout at start-up (qx_replay_point_register).
#pragma once
#include <cstdint>

#include "core/dates.h"
#include "core/object.h"

constexpr int CLS_REPLAY_POINT = 140;

// Marker kinds: the START or STOP marker sentence already placed at the head of the text.
enum qx_marker_kind : int32_t { QX_MARKER_NONE = 0, QX_MARKER_START = 1, QX_MARKER_STOP = 2 };

#pragma pack(push, 1)
struct replay_point : obj_t {
  char* text;               // owned: the sentences sent for this point, each with CR LF
  int32_t length;           // bytes of text
  double longitude;         // degrees, GPS coordinate system
  double latitude;          // degrees
  float separation;         // geoid separation, m
  double altitude;          // m above mean sea level
  double height;            // m: altitude minus separation
  double speed;             // km/h
  double course;            // degrees; NULL_DOUBLE (-1e100) when unset
  int32_t satellites_used;  // NULL_INT (0x80000001) when unset
  int32_t satellites_view;  // NULL_INT when unset
  double time;              // days since the first fix of the track
  date_rec date_time;       // start date of the log plus `time`
  double distance;          // cumulative distance from the first point, m
  int32_t marker;           // qx_marker_kind
  int32_t inserted;         // 1: placed by the resampler between two fixes of the track
};
#pragma pack(pop)

// Registers class 140 with the replay point's layout and its free routine (the text).
void qx_replay_point_register();
