// The reader of the geometry file of a Shapefile (format code 26): point, multipoint,
// polyline and polygon records, each also with z values ("Z") or measures ("M"), become
// point symbols (`geopoint`, class 119) and lines (`loil`, class 115, one per part).
// Only the geometry file is read; its index and attribute files are not, and the
// coordinates are kept as they stand (no coordinate system is attached).
//
// Contract on the bytes: every record lies inside the length the header gives, and
// that length inside the file; every read of a record lies inside its content length,
// computed in 64 bits; the part starts of a line rise from 0 to its point count. A file
// that breaks one of these stops the read with error 14, keeping the shapes read
// before it. Measures are never read; multipatch records are checked and skipped.
//
// Z values: a `geopoint` keeps its z as the third coordinate of `coords`; a `loil`
// of a Z record keeps them in the second array of its coordinate list (`loicoord.extra`,
// one double per point, in point order), which is freed with the points.
#pragma once

struct obj_t;
struct container_t;

constexpr int kShapefileFormat = 26;

// Shape types of the records.
enum shp_shape_type : int {
  SHP_NULL = 0,
  SHP_POINT = 1,
  SHP_POLYLINE = 3,
  SHP_POLYGON = 5,
  SHP_MULTIPOINT = 8,
  SHP_POINT_Z = 11,
  SHP_POLYLINE_Z = 13,
  SHP_POLYGON_Z = 15,
  SHP_MULTIPOINT_Z = 18,
  SHP_POINT_M = 21,
  SHP_POLYLINE_M = 23,
  SHP_POLYGON_M = 25,
  SHP_MULTIPOINT_M = 28,
  SHP_MULTIPATCH = 31,
};

// Reads the file into `list`. Returns -1 without a list, 2 when the file cannot be
// opened, 14 for a file shorter than its header or a record cut short or malformed, 3
// for a shape type outside 0 to 31, 1 when the objects would pass the memory budget,
// else 0 (the file then has its folder). gblerr is cleared; after an error the objects
// read before it stay in the list.
int shp_read(obj_t* file, container_t* list);
