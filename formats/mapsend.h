// The readers of MapSend waypoint, route and track files (format code 32, versions 2 to
// 4) and of the four MapShow files: TRL track logs (48), WPR waypoints and routes (49),
// WPO waypoints and routes (50) and TRK track logs (51). All are little-endian binary
// files in geographic coordinates: MapSend stores doubles, MapShow 32-bit integers in
// units of 1/36000 degree; both store the latitude negated.
//
// Every count, slot number and index a file holds is checked against the bytes really
// there and against the layout's own limits before it is used: a bad one ends the read
// with error 14, the objects read before it staying in the list.
#pragma once

struct obj_t;
struct container_t;

constexpr int kMapsendFormat = 32;
constexpr int kMapshowTrlFormat = 48;
constexpr int kMapshowWprFormat = 49;
constexpr int kMapshowWpoFormat = 50;
constexpr int kMapshowTrkFormat = 51;

// The MapSend symbol code (0 to 41) as a system waypoint symbol; 0 for any other code.
int mapsend_symbol(int code);

// Start-up routine of the module: registers the five readers in the reader table.
void mapsend_init();

// Format 32. Returns 0, 2 when the file cannot be opened, 3 for a wrong head, version
// or file type, 14 for a file shorter than its head or a record cut short.
int mapsend_read(obj_t* file, container_t* list);

// Formats 48, 51, 49 and 50. Return 0, 2 when the file cannot be opened, 14 for a wrong
// size or magic, or a count, slot number or index outside the file's layout.
int mapshow_read_trl(obj_t* file, container_t* list);
int mapshow_read_trk(obj_t* file, container_t* list);
int mapshow_read_wpr(obj_t* file, container_t* list);
int mapshow_read_wpo(obj_t* file, container_t* list);
