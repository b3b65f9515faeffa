// Replay data builders: a GPS file turned into replay points (class 140,
// quellix/replay_point.h), one point per fix with the NMEA sentences to send for it, its
// time since the first fix and its distance along the track.
//
// An NMEA log is read sentence by sentence through the NMEA parser and grouped by fix
// time; any other GPS data file is first loaded by the load dispatch and written as
// NMEA text by the NMEA export, then read the same way. The resampler then fills gaps
// of more than a second with interpolated points whose sentences (GGA, RMC, VTG) are
// synthesised here.
//
// Files: qx_builders.cpp (loading and conversion), qx_builders_log.cpp (pre-scan and the
// log reader), qx_builders_resample.cpp (the resampler), qx_builders_point.cpp (the
// class, fixes into points, sentence synthesis).
//
// Contract:
// - The points of a read log are sons of one track segment (class 105) of the file's
//   content list; after resampling the content list holds that segment and every point
//   (the log's and the inserted ones) in id order. The points are owned by the list.
// - Bad input never crashes or hangs: every loop is bounded by the bytes of the file or
//   by the distance the track really covers, and the points made are watched against
//   the memory budget (error 1 stops the reading, what was built stays).
// - Runs in the one task that loads files (the buffered reader is process-wide).
#pragma once
#include <cstdint>

struct obj_t;
struct nmea_fix;
struct replay_point;

// Times in days.
constexpr double kQxSecond = 1.1574074074074073e-5;
// Fix times this close count as one (0.1 s).
constexpr double kQxSameTime = 1.1574074074074074e-6;
// A point's text grows while it is shorter than this.
constexpr int kQxTextCap = 2000;
// Points whose computed speed reaches this are jumps of the receiver (km/h).
constexpr double kQxJumpSpeed = 2000.0;
// The reader's buffer.
constexpr int64_t kQxReadBuffer = 0x20000;
// Longest line the log reader and the pre-scan feed (longer lines are read in pieces).
constexpr int kQxLineMax = 200;
constexpr int kQxPrescanLineMax = 100;
// Time a log without advancing fix times advances per metre (about 50 km/h), days.
constexpr double kQxNoTimeStep = 8.332666719995734e-7;
// The resampler's grid: first point 1 s into a gap, then every 4.99 s; an inserted
// point lies at least 5 m beyond the last one.
constexpr double kQxResampleStep = 5.775462962962963e-5;
constexpr double kQxResampleMinDistance = 5.0;
// Grid steps and gaps are sums of rounded day fractions: a step within half a
// millisecond of the gap counts as reaching it (no point is placed on the next fix).
constexpr double kQxResampleSlack = 0.5 / 86400000.0;

// ---- The class -------------------------------------------------------------------------
// Registers class 140 with the replay point's layout and its free routine (the text).
// The NMEA module registers the same class with its smaller text record each time it is
// initialised: this must run after nmea_module_init, and the builders run it again
// before they make points.
void qx_replay_point_register();
// A new replay point (an id of its own, in no list) with its course and satellite
// counts unset; null with gblerr set when memory runs out.
replay_point* qx_replay_point_new(replay_point** out);
// Appends bytes to the point's text (kept NUL-terminated) and its length.
void qx_point_append_text(replay_point* point, const char* bytes, int count);

// ---- Fixes into points -----------------------------------------------------------------
// With a position: longitude and latitude (degrees, from the fix's seconds of arc);
// with heights: separation, altitude and height (altitude minus separation).
void qx_point_set_fix(replay_point* point, const nmea_fix* fix);
// With a speed: speed (km/h); with a course: course; each satellite count that is set.
void qx_point_set_motion(replay_point* point, const nmea_fix* fix);

// ---- Sentence synthesis ----------------------------------------------------------------
// Appends "$GPGGA", "$GPRMC" and, when the point moves, "$GPVTG" sentences of the
// point's position, heights, speed and course, each with its checksum and CR LF.
void qx_make_position_sentences(replay_point* point);

// ---- Loading ---------------------------------------------------------------------------
// The load of a track for replay: a GPS data file (kind 4) is converted to NMEA when it
// is not already, read and resampled. Unknown files and files without data are told in
// a message box. Returns 0 or the error code (3 for a file that is not GPS data).
int qx_load_track_file(obj_t* file);
// An NMEA file (format 39) is ok and has data as it is; any other file is loaded by the
// load dispatch (ok when that succeeds) and, when it holds GPS objects, written as NMEA
// text that becomes the file's data (format 39, kind 4; the loaded objects dropped).
// Returns ok (1 or 0); *has_data (when given) 1 when there is NMEA data to read.
int qx_convert_to_nmea(obj_t* file, int* has_data);
// Reads the NMEA data of the file object into replay points (see the contract above).
// Returns 0 or the error code: 2 when the file cannot be opened.
int qx_read_nmea_log(obj_t* file);
// 1 when the fix times of the file advance; *start_date (when given) the first date met
// plus the first fix time (a packed date; only the time of day when no date came first).
int qx_prescan_nmea_log(obj_t* file, double* start_date);
// Inserts interpolated points into the gaps of the document's track (see above).
void qx_resample_track(obj_t* document);
