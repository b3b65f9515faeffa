// The reader of Lowrance USR files (format code 65): waypoints, routes, event marks and
// trails, their positions stored as metres of a Mercator projection on a sphere of radius
// 6356752.3142 m with its origin at latitude 0, longitude 0. Integers are little-endian;
// a string is a 32-bit length and that many bytes. Altitudes are stored in feet and read
// into metres; the stored value of -10000 m (or anything below it) means "no altitude"
// and reads as 0. Times are seconds since 2000-01-01 00:00; 0 means no time.
#pragma once

struct obj_t;
struct container_t;

constexpr int kUsrFormat = 65;

// Start-up routine of the module: registers the reader of format 65.
void usr_init();

// Reads the file into its content list. Returns 0, 2 when the file cannot be opened, 14
// when the file is shorter than 12 bytes, shorter than a count or a string length
// announces, ends inside a record, or holds a trail block of no points before the
// trail's total is reached.
// gblerr is cleared; what was read before the error stays in the list.
int lowrance_read(obj_t* file, container_t* list);
