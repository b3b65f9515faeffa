// Shared by the two GPS TrackMaker readers (gtm_common.cpp, gtm_read.cpp, gtm_text.cpp).
#pragma once
#include <vector>

#include "core/obj_list.h"
#include "geodesy/geodesy_records.h"
#include "map/gps_classes.h"

// The datum of a GPS TrackMaker datum code (as decimal text), or null.
geodatum_t* gtm_datum_by_code(const char* code);
// The datum of a custom ellipsoid (semi-major axis, inverse flattening) shifted by dx,
// dy, dz to the reference datum, found or created; null (no error left) when either
// ellipsoid value is at or below 2e-14 or not finite, or the geodesy refuses it.
geodatum_t* gtm_custom_datum(double a, double second, double dx, double dy, double dz);
// The user grid: a Transverse Mercator projection on the datum from the central meridian
// (degrees), false easting, scale factor and false northing; an equal projection already
// loaded, else a new one named "<datum> / GPS TrackMaker User Grid (Transverse
// Mercator)". Null for values no projection can take.
cartproj_t* gtm_user_grid(geodatum_t* datum, const double grid[4]);

// The tracks of a read: points join the current segment; a new-track flag (or no
// segment yet) starts a new tracklog with one segment. Track names go to the tracklogs
// in the order they were made.
struct gtm_tracks {
  std::vector<tracklog_t*> logs;
  size_t named = 0;
  trackseg_t* segment = nullptr;
};
// A track point; false when it could not be made (gblerr set).
bool gtm_track_point(gtm_tracks* t, container_t* list, double x, double y, const date_rec* time,
                     double altitude, bool new_track);
// The next unnamed tracklog, or null when all have their names.
tracklog_t* gtm_next_track(gtm_tracks* t);

// A route point: a waypoint of the index with the same name, position and symbol stands
// for `w` (which is freed), else `w` joins the index and the list; the point kept is
// appended to the route when there is one. Returns the point kept.
waypoint_t* gtm_route_point(container_t* index, container_t* list, route_t* route, waypoint_t* w);

// Geographic radians onto a projection, and back (the projections take and give
// geographic values in their datum's angular unit).
void gtm_project(const cartproj_t* p, double* x, double* y);
void gtm_unproject(const cartproj_t* p, double* x, double* y);

// A new georeference (not in a list) on the same system as `src`, without its steps.
georef_t* gtm_georef_like(const georef_t* src);

// Waypoint display codes: `map` gives the value of each code 0 to 4.
int gtm_display(int code, const int map[5]);

// Folder, icons and default styles of a file read.
void gtm_place_objects(obj_t* file, container_t* list);
