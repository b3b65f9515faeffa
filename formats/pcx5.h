// The reader of Garmin PCX5 text files (format code 45): waypoints ("W"), routes ("R"
// followed by their points as "W" lines), track points ("T", segments split by "H"
// lines), the datum ("M": a named datum or a custom one from shifts on ellipsoid 34)
// and the coordinate notation ("U": degrees, degrees and minutes, degrees minutes and
// seconds, or UTM).
#pragma once

struct obj_t;
struct container_t;

constexpr int kPcx5Format = 45;

// Start-up routine of the module. The notation table is constant data, so there is
// nothing to build; it stays so that start-up calls every reader module the same way.
void pcx5_init();

// Reads the file into its content list. Returns 0, 2 when the file cannot be opened,
// 13 for a notation, datum or UTM zone the geodesy lacks, 14 for a line that is cut
// short or holds a bad number or a NUL byte; gblerr is cleared and what was read before
// the error stays in the list.
int pcx5_read(obj_t* file, container_t* list);
