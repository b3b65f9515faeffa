// The reader of the OziExplorer data files (format code 34): waypoint (.wpt), track
// (.plt), route (.rte), event (.evt) and point (.pnt) files, desktop and "CE" variants.
//
// A file begins with "OziExplorer ", then an optional "CE" and the kind word
// ("Waypoint", "Track", "Route", "Event" or "Point"); line 2 names the datum in the
// OziExplorer names of the geodesy tables. Records are lines of comma-separated fields:
// decimal degrees, altitudes in feet (-777 meaning none: stored as 0), dates as day
// counts from 1899-12-30, colours with red in the low byte. Every object lies in the
// file's one geographic georeference on the file's datum.
//
// Route files: "R" lines make routes, "W" lines make a waypoint each and append it to
// the route of that number (or of the next higher number); a "W" line that makes no
// waypoint appends nothing.
#pragma once

struct obj_t;
struct container_t;

constexpr int kOziFormat = 34;

// The symbol of the system for an OziExplorer waypoint symbol number (0 past 19).
int ozi_waypoint_symbol(int ozi_symbol);

// Reads the file into its content list. Returns 0; 2 when the file cannot be opened; 14
// when it is shorter than 12 bytes; 3 for a kind word none of the five, or a record that
// could not be read (a number that is not finite, an object that could not be made); 13
// for a datum the tables lack. gblerr is clear on return and what was read before an
// error stays in the list.
int ozi_read_data(obj_t* file, container_t* list);

// Start-up routine of the module: registers the reader of format 34.
void ozi_files_init();
