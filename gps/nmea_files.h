// NMEA 0183 text files: the import of a file of sentences (format code 39: the NMEA logs
// of live navigation and any file recognition finds GPS sentences in) into GPS objects,
// and the export of a file's GPS objects as sentences that this import and other NMEA
// tools read back.
//
// Import (nmea_import*.cpp): the file is read line by line through the NMEA parser of
// the live receivers; each fix becomes a track point of the one tracklog (a segment per
// "$PTMQT,START"/"$PTMQT,STOP" block), WPL and RMB sentences make waypoints, RTE and
// R00 series routes over those waypoints.
//
// Export (nmea_export*.cpp): a header, one WPL sentence per waypoint, RTE series per
// route and, per track segment or track, a block of the point sentences GLL, GGA, GSA,
// GSV, RMC, VTG and ZDA framed by the START/STOP marks with a "$PTMQB" time stamp per
// point. Every text put into a sentence is made safe for it: the characters that end or
// split a sentence ('$', '*', ',', CR, LF) and any other character outside printable
// ASCII become blanks, so that a name never cuts its sentence short.
#pragma once

struct obj_t;
struct container_t;

// Format code of NMEA files (recognition, reader table, export dispatcher).
constexpr int kNmeaFileFormat = 39;

// ---- Start-up ------------------------------------------------------------------------------
// Fills the reader slot of format 39 with read_nmea_file.
void nmea_files_init();

// ---- Import --------------------------------------------------------------------------------
// Reads the NMEA file object into `list`: a georeference (WGS 84), one tracklog, the
// waypoints and routes. Result 0, or the error code: 2 when the file cannot be opened,
// else the code the parse stopped on; the objects read before an error stay in the
// list. On success the objects are placed in the file's folder with default styles.
int read_nmea_file(obj_t* file, container_t* list);

// ---- Export --------------------------------------------------------------------------------
// Writes the GPS objects of the folders in `roots` (the export list: folders and the
// georeferences of their layers) as an NMEA file at `path`. Error 2 when the file cannot
// be created or closed; error 13 when a layer holds GPS objects but no georeference
// (that layer is left out, every other one is written whole).
void nmea_write_file(const char* path, container_t* roots);
// The export of a file object's folders: into the disk file at `path` when given, else
// appended to the in-memory file object `memory_file` (a file of kind 7 with a line
// store). Errors as nmea_write_file; an in-memory file that cannot grow gives error 1.
void nmea_export(const char* path, obj_t* memory_file, obj_t* source_file);
