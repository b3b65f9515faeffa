// The readers of GPS TrackMaker files: the binary files of version 211 and later (format
// code 33) and the comma-separated text export (format code 44), with the icon table
// both share and the embedded file objects that hold the images stored inside a binary
// file.
//
// Both readers build a georeference on the file's datum in the list, waypoints,
// tracklogs with their segments, and routes whose points reuse waypoints of the same
// name, position and symbol; objects read before an error stay in the list.
#pragma once
#include <cstdint>

struct obj_t;
struct container_t;
struct fileatt_t;

constexpr int kGtmFormat = 33;
constexpr int kGtmTextFormat = 44;

// Start-up routine of the module: fills the reader table's slots of both formats and
// builds the notation dictionary of the text files.
void gtm_init();
// Builds the notation dictionary of the text files ("d", "dm", "dms", "utm").
void gtmtxt_register_keywords();

// The system symbol of a GPS TrackMaker icon number (0 outside 0 to 265).
int gtm_icon_symbol(int icon);

// A file object (kind 7) for data stored inside `parent`: same path and name, reading
// the parent's memory-held data when it has some, else the parent's disk file, linked
// under the parent. The caller sets the data's offset (FF_START) and size (FF_SIZE).
fileatt_t* embedded_file_create(obj_t* parent);

// The binary reader. Returns 0, 2 when the file cannot be opened, 3 for a version below
// 211, 13 for a datum the geodesy lacks or a custom ellipsoid it cannot take, 14 for a
// file shorter than its header, a record cut short, or image data that do not lie
// inside the file; gblerr is cleared.
int gtm_read(obj_t* file, container_t* list);

// The text reader. Returns 0, 2 when the file cannot be opened, 13 for a datum the
// geodesy lacks, 14 for a line that is no text (a NUL byte), else the error that
// stopped the read; gblerr is cleared.
int gtmtxt_read(obj_t* file, container_t* list);
